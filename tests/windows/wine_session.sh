# The Windows tests' session, sourced by tests/windows/run.sh and
# tests/release/run.sh: a temporary folder ($work, removed at exit) with
# Wine's prefix in it, pass and fail (counting $failures, their lines named $test_name, default
# windows), a private X
# server with Wine's virtual desktop (wine_desktop), and the helpers that run
# $exe on it and watch the display.  $probe is tests/windows/probe's program.
work=$(mktemp -d)
xvfb_pid=""
keeper_pid=""
cleanup() {
    [ -n "$keeper_pid" ] && kill "$keeper_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
pass() { echo "${test_name:-windows}: ok   $*" >&2; }
fail() { echo "${test_name:-windows}: FAIL $*" >&2; failures=$((failures + 1)); }

# wine_desktop: the X server (display :$n, DISPLAY set) and Wine's prefix
# with its virtual desktop, kept up by a helper's hidden window.
wine_desktop() {
    # The X server first: Wine's desktop keeps the display it found when it
    # started (none, before the server is up).
    for n in $(seq 70 99); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
    done
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    echo "${test_name:-windows}: making a Wine prefix" >&2
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x480 /f >/dev/null 2>&1
    # What wineboot left running has the desktop of before; the next program
    # starts the registry's (the virtual one, which DirectDraw's modes need).
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    # A helper's hidden window keeps that desktop up from run to run.
    wine "$probe" hold 1200 &
    keeper_pid=$!
    wine "$probe" exists "oddball probe" 120 || fail "Wine's desktop did not start"
}

# start NAME ARGS...: runs oddball.exe in the background, its output (the
# debug strings included) in $work/NAME.out; sets $pid.
start() {
    local name=$1; shift
    WINEDEBUG=-all,+debugstr timeout 120 wine "$exe" "$@" >"$work/$name.out" 2>&1 &
    pid=$!
}
# wait_for NAME TEXT SECONDS: until the run's output holds TEXT.
wait_for() {
    for _ in $(seq $(($3 * 10))); do
        grep -q "$2" "$work/$1.out" && return 0
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# ended_within SECONDS: the run ended in time with status 0.
ended_within() {
    for _ in $(seq $(($1 * 10))); do
        if ! kill -0 $pid 2>/dev/null; then
            wait $pid
            return $?
        fi
        sleep 0.1
    done
    stop_run
    return 1
}
# shot FILE W H [X Y]: W x H of the screen from its top left (or X, Y) as raw RGB.
shot() { ffmpeg -loglevel error -y -f x11grab -video_size $2x$3 -i :$n+${4:-0},${5:-0} -frames:v 1 -f rawvideo -pix_fmt rgb24 "$1"; }
black() { cmp -s "$1" <(head -c "$(stat -c %s "$1")" /dev/zero); }
# showing W H [X Y]: within 20 s, two shots a second apart differ and
# neither is black (the show is on); the later one stays in $work/b.raw.
showing() {
    shot "$work/a.raw" "$@"
    for _ in $(seq 20); do
        sleep 1
        shot "$work/b.raw" "$@"
        if ! black "$work/a.raw" && ! black "$work/b.raw" && ! cmp -s "$work/a.raw" "$work/b.raw"; then
            return 0
        fi
        mv "$work/b.raw" "$work/a.raw"
    done
    return 1
}
# stop_run: ends a run that went wrong, and whatever it left in Wine.
stop_run() {
    kill $pid 2>/dev/null
    wineserver -k 2>/dev/null
    wait $pid 2>/dev/null
}
# The show's window, for the keyboard.
show_window() { xdotool search --name '^oddball$' | head -n 1; }

# escape_run NAME LABEL OPTIONS...: started with OPTIONS, $exe shows
# changing frames at 320 x 240 x 32 and Escape ends it with status 0 within
# 2 s; LABEL comes before its messages.
escape_run() {
    local name=$1 label=$2
    shift 2
    start "$name" "$@"
    if wait_for "$name" "oddball: display 320 x 240, 32 bits" 60; then
        showing 320 240 && pass "${label}the show presents changing frames at 320 x 240 x 32" ||
            fail "${label}no changing frames on the display"
        xdotool key --window "$(show_window)" Escape
        ended_within 2 && pass "${label}Escape ends the show with status 0 within 2 s" ||
            fail "${label}Escape did not end the show with status 0 within 2 s"
    else
        fail "${label}the show did not set 320 x 240 x 32: $(tail -n 3 "$work/$name.out")"
        stop_run
    fi
}
