# shellcheck shell=bash
# Wine sessions for the real-system tests (wine, ui, hostile) and for scripts/run. Source it, or run it:
#   lib.sh make-template DIR
#       an initialised prefix in DIR, made once per test run and copied by every test
#   lib.sh session [--display] [--no-override] TEMPLATE BUILD32 BUILD64 -- COMMAND...
#       runs COMMAND in a fresh copy of TEMPLATE with one Wine session around it, with
#       WINE_SESSION_DIR/work as an empty folder for its files.
#       --display adds a private Xvfb screen.
#       --no-override runs the whole session without root's permission override
#       (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), so that permission bits stop it as they stop
#       an ordinary user.
#       WINE_KEEP=1 keeps the session's folder.
# One session per test: the first process of every new session boots the prefix, which carries out
# whatever deletions are pending and renames WININIT.INI, so a test never starts a second one.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Debian ships the 64-bit loader outside PATH.
WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)

wine_die() {
    echo "wine: $*" >&2
    exit 1
}

wine_make_template() {
    local dir=$1
    rm -rf "$dir" "$dir.new"
    mkdir -p "$(dirname "$dir")"
    (
        export WINEPREFIX=$dir.new
        unset DISPLAY
        "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w
    )
    [ -f "$dir.new/system.reg" ] || wine_die "wineboot -i did not initialise $dir.new"
    mv "$dir.new" "$dir"
}

# Picks the build this machine can run: the shipped 32-bit program where Wine runs 32-bit code
# here, else its 64-bit twin. Needs a running session. Sets WINE and VORNEL_BUILD.
wine_choose_program() {
    local build32=$1 build64=$2 probe=tests/wine/programs/probe.exe
    if [ -f "$build32/$probe" ] &&
        [ "$(timeout 60 wine "$build32/$probe" hello 2>/dev/null </dev/null | tr -d '\r')" = "hello 32" ]; then
        WINE=wine
        VORNEL_BUILD=$build32
        echo "wine: running the 32-bit program $build32/vornel.exe"
    else
        WINE=$WINE64
        VORNEL_BUILD=$build64
        echo "wine: this machine runs no 32-bit code under Wine; running the 64-bit twin $build64/vornel.exe"
    fi
    local file
    for file in vornel.exe $probe tests/wine/programs/launch.exe; do
        [ -f "$VORNEL_BUILD/$file" ] || wine_die "$VORNEL_BUILD/$file is missing: build the Windows presets first"
    done
    export WINE VORNEL_BUILD
    export VORNEL_EXE=$VORNEL_BUILD/vornel.exe
    export VORNEL_PROBE=$VORNEL_BUILD/$probe
    export VORNEL_LAUNCH=$VORNEL_BUILD/tests/wine/programs/launch.exe
}

# Starts a private X server and exports its DISPLAY; sets WINE_XVFB_PID.
wine_start_display() {
    local fdfile=$1 display
    # -displayfd: the server picks a free display number and reports it once it listens.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fdfile" >/dev/null 2>&1 &
    WINE_XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$fdfile" ] && break
        kill -0 "$WINE_XVFB_PID" 2>/dev/null || wine_die "Xvfb did not start"
        sleep 0.1
    done
    [ -s "$fdfile" ] || wine_die "Xvfb gave no display number"
    display=$(head -n1 "$fdfile")
    export DISPLAY=":$display"
}

wine_session_end() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    if [ -n "${WINE_XVFB_PID:-}" ]; then
        kill "$WINE_XVFB_PID" 2>/dev/null || true
        wait "$WINE_XVFB_PID" 2>/dev/null || true
    fi
    if [ -n "${WINE_SESSION_DIR:-}" ] && [ -z "${WINE_KEEP:-}" ]; then
        # A test may leave folders nobody may enter or change.
        chmod -R u+rwx "$WINE_SESSION_DIR" 2>/dev/null || true
        rm -rf "$WINE_SESSION_DIR"
    fi
}

wine_session() {
    local display=()
    while true; do
        case "${1:-}" in
        --display)
            display=(--display)
            shift
            ;;
        --no-override)
            shift
            # A process of uid 0 gets its bounding set as its capabilities: take the two away there.
            exec setpriv --bounding-set -dac_override,-dac_read_search \
                bash "${BASH_SOURCE[0]}" session "${display[@]}" "$@"
            ;;
        *)
            break
            ;;
        esac
    done
    local template=$1 build32=$2 build64=$3
    shift 3
    [ "${1:-}" = -- ] && shift
    [ -f "$template/system.reg" ] || wine_die "no template prefix at $template"

    WINE_SESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vornel-wine.XXXXXX")
    export WINE_SESSION_DIR
    trap wine_session_end EXIT
    trap 'exit 130' INT TERM
    cp -a "$template" "$WINE_SESSION_DIR/prefix"
    mkdir "$WINE_SESSION_DIR/work"
    export WINEPREFIX=$WINE_SESSION_DIR/prefix
    if [ ${#display[@]} -gt 0 ]; then
        wine_start_display "$WINE_SESSION_DIR/display"
    else
        unset DISPLAY
    fi
    wineserver -p
    # The session's first process boots the prefix; Wine's system processes started by it keep
    # the standard handles they were given, so give them none of the caller's.
    "$WINE64" winepath -w / </dev/null >/dev/null 2>&1 || wine_die "Wine does not start in $WINEPREFIX"
    wine_choose_program "$build32" "$build64"
    [ -n "${WINE_KEEP:-}" ] && echo "wine: session kept in $WINE_SESSION_DIR"
    "$@"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}" in
    make-template)
        wine_make_template "$2"
        ;;
    session)
        shift
        wine_session "$@"
        ;;
    *)
        echo "usage: lib.sh make-template DIR | session [--display] [--no-override] TEMPLATE BUILD32 BUILD64 -- COMMAND..." >&2
        exit 2
        ;;
    esac
fi
