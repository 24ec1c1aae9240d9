#!/bin/sh
# Runs a Windows program under Debian's 64-bit Wine, headless and quiet, passing its exit status
# through. Used as the cross build's CMAKE_CROSSCOMPILING_EMULATOR.
#
#   wine-run.sh program.exe [arguments...]
#
# QUENDAL_WINEPREFIX chooses the Wine prefix (default: ~/.cache/quendal/wineprefix); it is
# created on first use, which takes some ten seconds.
export WINEPREFIX="${QUENDAL_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/quendal/wineprefix}"
export WINEARCH=win64
# Quiet, but a missing DLL still says which one (otherwise the program just exits with 53).
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
# No Mono or Gecko installers, no desktop menus, and no crash debugger: a crashing program ends
# at once with a non-zero status instead of a register dump (and, seen, a status of 0).
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d}"
unset DISPLAY WAYLAND_DISPLAY
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
if [ ! -x "$WINE" ]; then
    echo "wine-run.sh: $WINE not found (Debian package wine64)" >&2
    exit 127
fi
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$WINE" wineboot --init </dev/null >/dev/null 2>&1 9>&-
        "$WINESERVER" -w 9>&-
    fi
    # Wine's long-lived helpers must not inherit the caller's pipes (CTest would wait for them)
    # nor the lock (the next caller would wait for them).
    if "$WINESERVER" -p"${QUENDAL_WINESERVER_LINGER:-60}" </dev/null >/dev/null 2>&1 9>&-; then
        "$WINE" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
) 9>"$WINEPREFIX.lock"
exec "$WINE" "$@"
