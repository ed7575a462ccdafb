#!/bin/bash
# One UI test in its own Wine session on its own X screen.
#   session.sh make-prefix DIR
#       an initialised prefix in DIR; made once per test run, every test works on a copy
#   session.sh run TEMPLATE BUILD32 BUILD64 -- COMMAND...
#       copies TEMPLATE to a fresh prefix, starts Xvfb and one Wine session (wineserver -p),
#       picks the build that runs here and runs COMMAND; the session and the screen end with it.
# A second session would boot the prefix again, which carries out pending deletions and renames
# WININIT.INI, so each test keeps to the one it is given.
set -euo pipefail

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)

die() {
    echo "session: $*" >&2
    exit 1
}

make_prefix() {
    local dir=$1
    rm -rf "$dir" "$dir.new"
    mkdir -p "$(dirname "$dir")"
    (
        unset DISPLAY
        WINEPREFIX=$dir.new "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
        WINEPREFIX=$dir.new wineserver -w
    )
    [ -f "$dir.new/system.reg" ] || die "wineboot -i did not initialise $dir.new"
    mv "$dir.new" "$dir"
}

end_session() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    if [ -n "${SESSION_DIR:-}" ] && [ -z "${UI_KEEP:-}" ]; then
        rm -rf "$SESSION_DIR"
    fi
}

start_display() {
    local fdfile=$SESSION_DIR/display number
    # -displayfd: the server picks a free display number and reports it once it listens.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fdfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$fdfile" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || die "Xvfb did not start"
        sleep 0.1
    done
    [ -s "$fdfile" ] || die "Xvfb gave no display number"
    number=$(head -n1 "$fdfile")
    export DISPLAY=":$number"
}

# The shipped 32-bit program where Wine runs 32-bit code here, else its 64-bit twin.
choose_build() {
    local build32=$1 build64=$2
    if [ -f "$build32/tests/ui/programs/probe.exe" ] &&
        timeout 60 wine "$build32/tests/ui/programs/probe.exe" acp </dev/null 2>/dev/null | tr -d '\r' |
        grep -qx '[0-9][0-9]*'; then
        export WINE=wine VORNEL_BUILD=$build32
    else
        export WINE=$WINE64 VORNEL_BUILD=$build64
    fi
    local file
    for file in vornel.exe tests/ui/programs/probe.exe; do
        [ -f "$VORNEL_BUILD/$file" ] || die "$VORNEL_BUILD/$file is missing: build the Windows presets first"
    done
    echo "session: $VORNEL_BUILD/vornel.exe with $WINE on $DISPLAY"
}

run() {
    local template=$1 build32=$2 build64=$3
    shift 3
    [ "${1:-}" = -- ] && shift
    [ -f "$template/system.reg" ] || die "no initialised prefix at $template"

    SESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vornel-ui.XXXXXX")
    trap end_session EXIT
    trap 'exit 130' INT TERM
    cp -a "$template" "$SESSION_DIR/prefix"
    export WINEPREFIX=$SESSION_DIR/prefix
    start_display
    wineserver -p
    # The session's first process boots the prefix; its system processes keep the standard
    # handles they are given, so they get none of ours.
    "$WINE64" winepath -w / </dev/null >/dev/null 2>&1 || die "Wine does not start in $WINEPREFIX"
    choose_build "$build32" "$build64"
    [ -n "${UI_KEEP:-}" ] && echo "session: kept in $SESSION_DIR"
    "$@"
}

case "${1:-}" in
make-prefix)
    make_prefix "$2"
    ;;
run)
    shift
    run "$@"
    ;;
*)
    echo "usage: session.sh make-prefix DIR | run TEMPLATE BUILD32 BUILD64 -- COMMAND..." >&2
    exit 2
    ;;
esac
