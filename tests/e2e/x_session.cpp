// A private X server, background programs and a little Xlib for the end-to-end tests.
#include "tests/e2e/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

void stop_process(int pid)
{
    if (pid <= 0)
        return;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
}

}  // namespace

xvfb_server::~xvfb_server()
{
    stop_process(pid);
}

bool xvfb_server::start(std::string* error)
{
    int fds[2];
    if (pipe(fds) != 0) {
        *error = "no pipe";
        return false;
    }
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a test program that ended abruptly
        close(fds[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        *error = "no fork";
        return false;
    }
    // Xvfb writes its display number followed by a newline once it is ready.
    std::string number;
    long long deadline = now_ms() + 10000;
    while (now_ms() < deadline) {
        pollfd wait{fds[0], POLLIN, 0};
        if (poll(&wait, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(fds[0], &c, 1) != 1)
            break;
        if (c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        *error = "Xvfb did not report a display (is it installed?)";
        return false;
    }
    name = ":" + number;
    return true;
}

background_program::~background_program()
{
    stop_process(pid);
}

bool background_program::start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                               const std::string& errors_path)
{
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        for (const std::string& assignment : environment)
            putenv(const_cast<char*>(assignment.c_str()));
        int null = open("/dev/null", O_RDWR);
        int errors = open(errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(null, 0);
        dup2(null, 1);
        dup2(errors, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid > 0;
}

bool background_program::wait_exit(int timeout_ms, int* status)
{
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) == pid) {
            pid = -1;
            *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        }
        if (now_ms() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

namespace {
// A window that went away between finding and using it is the test's to
// report, not a reason for Xlib to end the test program.
int ignore_x_errors(Display*, XErrorEvent*)
{
    return 0;
}
}  // namespace

x_client::x_client(const std::string& display)
{
    XSetErrorHandler(ignore_x_errors);
    handle = XOpenDisplay(display.c_str());
}

x_client::~x_client()
{
    if (handle)
        XCloseDisplay(static_cast<Display*>(handle));
}

unsigned long x_client::wait_for_window(const char* title, int timeout_ms)
{
    auto* x = static_cast<Display*>(handle);
    long long deadline = now_ms() + timeout_ms;
    while (now_ms() < deadline) {
        Window root = DefaultRootWindow(x), parent = 0, *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(x, root, &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && !found; ++i) {
                char* name = nullptr;
                XWindowAttributes attributes;
                if (XFetchName(x, children[i], &name) && name) {
                    if (std::strcmp(name, title) == 0 && XGetWindowAttributes(x, children[i], &attributes) &&
                        attributes.map_state == IsViewable)
                        found = children[i];
                    XFree(name);
                }
            }
            if (children)
                XFree(children);
        }
        if (found)
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

void x_client::send_close_request(unsigned long window)
{
    auto* x = static_cast<Display*>(handle);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, window, False, NoEventMask, &event);
    XFlush(x);
}

void x_client::focus(unsigned long window)
{
    auto* x = static_cast<Display*>(handle);
    XSetInputFocus(x, window, RevertToParent, CurrentTime);
    XSync(x, False);
}

void x_client::listen_to_root()
{
    auto* x = static_cast<Display*>(handle);
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, False);
}

bool x_client::saw_fullscreen_request(unsigned long window, int timeout_ms)
{
    auto* x = static_cast<Display*>(handle);
    Atom state = XInternAtom(x, "_NET_WM_STATE", False);
    Atom fullscreen = XInternAtom(x, "_NET_WM_STATE_FULLSCREEN", False);
    long long deadline = now_ms() + timeout_ms;
    while (now_ms() < deadline) {
        while (XPending(x)) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type == ClientMessage && event.xclient.window == window && event.xclient.message_type == state &&
                event.xclient.data.l[0] == 1 /* add */ &&
                (Atom(event.xclient.data.l[1]) == fullscreen || Atom(event.xclient.data.l[2]) == fullscreen))
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
