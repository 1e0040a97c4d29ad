// What the end-to-end tests need around the real program: a private X
// server, the program running in the background, and a look at its window.
#pragma once

#include <string>
#include <vector>

// Xvfb on a display number it picks itself (-displayfd), ended with the object.
class xvfb_server {
public:
    xvfb_server() = default;
    xvfb_server(const xvfb_server&) = delete;
    xvfb_server& operator=(const xvfb_server&) = delete;
    ~xvfb_server();
    // False with `error` when Xvfb could not be started within a few seconds.
    bool start(std::string* error);
    const std::string& display() const { return name; }  // ":N"

private:
    int pid = -1;
    std::string name;
};

// A program started in the background with the given extra environment;
// its standard error goes to a file.  Killed with the object if still running.
class background_program {
public:
    background_program() = default;
    background_program(const background_program&) = delete;
    background_program& operator=(const background_program&) = delete;
    ~background_program();
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& errors_path);
    // Waits at most `timeout_ms` for the program to end; true with its exit
    // status (128 + signal when killed) if it did.
    bool wait_exit(int timeout_ms, int* status);

private:
    int pid = -1;
};

// Xlib on the test's server, for what xdotool cannot do on a bare server.
class x_client {
public:
    explicit x_client(const std::string& display);
    x_client(const x_client&) = delete;
    x_client& operator=(const x_client&) = delete;
    ~x_client();
    bool connected() const { return handle != nullptr; }
    // A viewable top-level window with this title, waiting at most `timeout_ms`; 0 if none.
    unsigned long wait_for_window(const char* title, int timeout_ms);
    // The window manager's close request: WM_PROTOCOLS with WM_DELETE_WINDOW.
    void send_close_request(unsigned long window);
    // Gives the window the keyboard focus (no window manager does it here).
    void focus(unsigned long window);
    // Starts listening for requests sent to the root window (what a window manager hears).
    void listen_to_root();
    // Whether a request to put `window` in the full-screen state arrived at the root within `timeout_ms`.
    bool saw_fullscreen_request(unsigned long window, int timeout_ms);

private:
    void* handle = nullptr;  // Display*, kept out of the header so Xlib's macros stay out of the tests
};

// Milliseconds on a monotonic clock.
long long now_ms();
