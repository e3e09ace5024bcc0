#!/usr/bin/env bash
# Installs what is missing, builds the program, writes the demo database into
# a Wine-style C: drive under the build tree and starts the program on it.
# The user's own ~/.wine is never touched.
#
#   bash tools/run-demo.sh             the Linux program
#   bash tools/run-demo.sh --windows   the Windows program, installed by its
#                                      installer into a Wine prefix under
#                                      build-windows/ and started there
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
    "") ;;
    --windows)
        # Wine draws windows through X11 only.
        if [ -z "${DISPLAY:-}" ]; then
            echo "no DISPLAY: the window needs an X display (Xwayland will do)" >&2
            exit 1
        fi
        bash tools/build-windows.sh
        build=build-windows
        installer=$(sed -n 's/^installer=//p' "$build/installer.txt")
        folder=$(sed -n 's/^folder=//p' "$build/installer.txt")
        export WINEPREFIX=$PWD/$build/demo-prefix
        export WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "creating the Wine prefix $WINEPREFIX"
            mkdir -p "$WINEPREFIX"
            wineboot -i </dev/null >"$build/demo-wineboot.log" 2>&1 \
                || { cat "$build/demo-wineboot.log" >&2; exit 1; }
        fi
        cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        mkdir -p "$WINEPREFIX/drive_c/VANTORELISK"
        wine "$build/tools/demo_database/demo-database.exe" 'C:\VANTORELISK\TABLEARTICLE.MDB' </dev/null
        wine "$build/$installer" /S </dev/null
        wineserver -w
        # The installer's exit status says nothing under Wine: the file does.
        program="C:\\Program Files\\$folder\\fiche-article.exe"
        if [ ! -f "$WINEPREFIX/drive_c/Program Files/$folder/fiche-article.exe" ]; then
            echo "the installer put no fiche-article.exe in $WINEPREFIX/drive_c/Program Files/$folder" >&2
            exit 1
        fi
        exec wine "$program"
        ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
esac

bash tools/install-deps.sh

build=${BUILD_DIR:-build-demo}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFICHE_BUILD_TESTS=OFF
cmake --build "$build" -j"$(nproc)" --target fiche-article demo-database

prefix="$PWD/$build/demo-prefix"
mkdir -p "$prefix/drive_c/VANTORELISK"
"$build/tools/demo_database/demo-database" "$prefix/drive_c/VANTORELISK/TABLEARTICLE.MDB"
WINEPREFIX="$prefix" exec "$build/src/fiche-article"
