# Sourced by the scripts that run Windows programs under Wine (the test
# stage, the benchmark): the prefix named by WINEPREFIX, never ~/.wine, made
# when missing, with one persistent wineserver for every program run in it,
# since starting one per process costs most of a second.
#
#   wine_prefix_up LOG_FILE     wineboot's output goes to LOG_FILE
#   wine_fonts FONTS_TO_COPY    Wine's own fonts put in the prefix
#
# Both need WINEPREFIX exported.

export WINEDEBUG=-all
# No offer to install Mono or Gecko, no menu entries for the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The server and the services wineboot starts stay up between programs:
# they must not hold the calling script's output open, a pipe in CI. Seen
# once under load: the set-up stopped half-way, kernel32.dll not found; a
# second try starts from nothing.
# A program that crashes ends with a failing status and its backtrace on
# its error output, instead of waiting for a crash dialog no one sees.
wine_prefix_up() {
    local log=$1
    _wine_start() {
        mkdir -p "$WINEPREFIX"
        wineserver -p </dev/null >/dev/null 2>&1
        wineboot -i </dev/null >"$log" 2>&1 \
            && wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
                </dev/null >>"$log" 2>&1
    }
    [ -f "$WINEPREFIX/system.reg" ] || echo "creating the Wine prefix $WINEPREFIX"
    _wine_start && return 0
    cat "$log" >&2
    echo "setting the Wine prefix up failed; once more from nothing" >&2
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    _wine_start && return 0
    cat "$log" >&2
    return 1
}

# Debian's Wine loads the fonts it ships only from the prefix.
wine_fonts() {
    cp -u "$@" "$WINEPREFIX/drive_c/windows/Fonts/"
}
