#!/bin/bash
# One hostile-tree test in its own Wine session.
#   session.sh make-prefix DIR
#       an initialised prefix in DIR; made once per test run, every test works on a copy
#   session.sh run [--no-override] TEMPLATE BUILD32 BUILD64 -- COMMAND...
#       copies TEMPLATE to a fresh prefix, starts one Wine session (wineserver -p), picks the build
#       that runs here and runs COMMAND with HOSTILE_SESSION_DIR/work as the place for its trees.
#       --no-override runs the whole session without root's permission override
#       (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), so that permission bits stop it as they stop
#       an ordinary user.
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
    if [ -n "${HOSTILE_SESSION_DIR:-}" ] && [ -z "${HOSTILE_KEEP:-}" ]; then
        # Trees may hold folders nobody may enter or change.
        chmod -R u+rwx "$HOSTILE_SESSION_DIR" 2>/dev/null || true
        rm -rf "$HOSTILE_SESSION_DIR"
    fi
}

# The shipped 32-bit program where Wine runs 32-bit code here, else its 64-bit twin.
choose_build() {
    local build32=$1 build64=$2 probe=tests/hostile/programs/treeprobe.exe
    if [ -f "$build32/$probe" ] &&
        [ "$(timeout 60 wine "$build32/$probe" hello </dev/null 2>/dev/null | tr -d '\r')" = "hello 32" ]; then
        export WINE=wine VORNEL_BUILD=$build32
    else
        export WINE=$WINE64 VORNEL_BUILD=$build64
    fi
    local file
    for file in vornel.exe $probe; do
        [ -f "$VORNEL_BUILD/$file" ] || die "$VORNEL_BUILD/$file is missing: build the Windows presets first"
    done
    export VORNEL_EXE=$VORNEL_BUILD/vornel.exe VORNEL_TREEPROBE=$VORNEL_BUILD/$probe
    echo "session: $VORNEL_EXE with $WINE"
}

run() {
    if [ "${1:-}" = --no-override ]; then
        shift
        # A process of uid 0 gets its bounding set as its capabilities: take the two away there.
        exec setpriv --bounding-set -dac_override,-dac_read_search bash "$0" run "$@"
    fi
    local template=$1 build32=$2 build64=$3
    shift 3
    [ "${1:-}" = -- ] && shift
    [ -f "$template/system.reg" ] || die "no initialised prefix at $template"

    HOSTILE_SESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vornel-hostile.XXXXXX")
    export HOSTILE_SESSION_DIR
    trap end_session EXIT
    trap 'exit 130' INT TERM
    cp -a "$template" "$HOSTILE_SESSION_DIR/prefix"
    mkdir "$HOSTILE_SESSION_DIR/work"
    export WINEPREFIX=$HOSTILE_SESSION_DIR/prefix
    unset DISPLAY
    wineserver -p
    # The session's first process boots the prefix; its system processes keep the standard
    # handles they are given, so they get none of ours.
    "$WINE64" winepath -w / </dev/null >/dev/null 2>&1 || die "Wine does not start in $WINEPREFIX"
    choose_build "$build32" "$build64"
    [ -n "${HOSTILE_KEEP:-}" ] && echo "session: kept in $HOSTILE_SESSION_DIR"
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
    echo "usage: session.sh make-prefix DIR | run [--no-override] TEMPLATE BUILD32 BUILD64 -- COMMAND..." >&2
    exit 2
    ;;
esac
