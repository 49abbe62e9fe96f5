# Shared helpers of the project's scripts: package installs, the zh_CN locale, Xvfb and Wine prefixes.
# Sourced, never run. Everything lives inside the build folder; the user's own Wine prefix is never used.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_ROOT="$ROOT/build"
BUILD_DIR="$BUILD_ROOT/release"

log() { printf '[%s] %s\n' "$(basename "$0")" "$*" >&2; }

# Installs the Debian packages that are missing; apt-get update only runs when something is missing.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    # With recommends: Wine needs several of them (its fonts, the X render and cursor libraries).
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake make python3 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest)
# iproute2: the end-to-end tests' remote machine, a network namespace (tests/e2e/peer.sh).
RUN_PACKAGES=(wine wine64 fonts-wine xvfb xauth fonts-wqy-microhei locales iproute2)
# The test command's syntax check of examples/ansible (Debian's ansible brings the ansible.windows collection).
CHECK_PACKAGES=(ansible)
# Screenshots (scripts/run without a display, scripts/screenshots).
SHOT_PACKAGES=(imagemagick)

# Wine reads the ANSI code page from the glibc locale: without zh_CN.UTF-8 it falls back to 1252.
ensure_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
        log "generating the zh_CN.UTF-8 locale"
        localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 2>/dev/null || {
            mkdir -p "$BUILD_ROOT/locale"
            localedef -i zh_CN -f UTF-8 "$BUILD_ROOT/locale/zh_CN.UTF-8"
            export LOCPATH="$BUILD_ROOT/locale"
        }
    fi
    [ -d "$BUILD_ROOT/locale/zh_CN.UTF-8" ] && export LOCPATH="$BUILD_ROOT/locale"
    return 0
}

configure_and_build() {
    cmake --preset release >/dev/null
    cmake --build --preset release -j"$(nproc)"
}

# The two programs only (rdpport.exe and rdpport.com), not the tests: what running the program needs.
configure_and_build_programs() {
    cmake --preset release >/dev/null
    cmake --build --preset release -j"$(nproc)" --target rdpport rdpport_console
}

# Starts a private Xvfb and exports DISPLAY; XVFB_PID is killed by stop_xvfb.
start_xvfb() {
    local fd_file
    fd_file="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
        [ -s "$fd_file" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
    log "Xvfb on $DISPLAY"
}

stop_xvfb() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
    return 0
}
