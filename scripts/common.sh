# Shared by the scripts: installing what is missing, and a private X display
# with a Wine prefix for running the Windows programs.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

BUILD_PACKAGES=(cmake nlohmann-json3-dev ninja-build g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix valgrind
                libstb-dev zlib1g-dev libz-mingw-w64-dev libmd-dev python3 librsvg2-bin dpkg-dev)
FUZZ_PACKAGES=(clang libclang-rt-dev)
# A browser that draws corvane-snap's HTML report headless, as a reader would see it.
BROWSER_PACKAGES=(chromium fonts-liberation)
WINE_PACKAGES=(wine wine64 xvfb xdotool x11-utils imagemagick)

# Installs the packages that are not installed yet: one apt-get update, and
# only when something is missing, so a second run costs nothing.
need_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

XVFB_PID=""
WINESERVER_STARTED=""

stop_wine_environment() {
    if [ -n "$WINESERVER_STARTED" ]; then
        wineserver -k >/dev/null 2>&1 || true
        WINESERVER_STARTED=""
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" >/dev/null 2>&1 || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}

# A private 24-bit Xvfb display, unless USE_DISPLAY=1 keeps the user's own.
# XVFB_SCREEN sets its size (the presenter bench needs room for 3840 x 2160).
start_display() {
    if [ "${USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
    local number
    for number in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
        Xvfb ":$number" -screen 0 "${XVFB_SCREEN:-1600x1200x24}" -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$number" ] && break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$number"
            return 0
        fi
    done
    echo "Could not start Xvfb" >&2
    return 1
}

# A private Wine prefix under the Windows build folder, kept alive by one
# persistent wineserver for the whole run.
start_wine() {
    export WINEPREFIX="$ROOT/build/windows/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix (once)..."
        wineboot --init >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    # Without a window manager, destroying a captioned window takes seconds
    # unless Wine manages its windows itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 </dev/null &
    WINESERVER_STARTED=1
    # A throw-away run whose output goes nowhere, so that Wine's background
    # processes never hold on to our pipes.
    wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

start_wine_environment() {
    trap stop_wine_environment EXIT
    start_display
    start_wine
}
