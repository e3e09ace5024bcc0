#!/usr/bin/env bash
# Runs each Windows test binary of build-windows/ (tools/build-windows.sh)
# once under Wine, in a prefix of its own, build-windows/wine-prefix: never
# ~/.wine. One persistent wineserver serves every run, since starting one per
# process costs most of a second; it is stopped at the end, failure or not.
# Then tests/packaging/windows_installer_test.sh installs and uninstalls the
# installer in a prefix of its own, made afresh. The whole stage has a time
# limit (seconds, default 1800).
#
#   bash tools/run-windows-tests.sh [TIME_LIMIT]
set -euo pipefail
cd "$(dirname "$0")/.."

limit=${1:-1800}
if [ -z "${FICHE_WINE_STAGE:-}" ]; then
    bash tools/install-deps.sh --windows
    status=0
    FICHE_WINE_STAGE=1 timeout --kill-after=30 "$limit" bash "$0" "$limit" || status=$?
    ((status != 124)) || echo "the Wine stage ran out of its $limit s" >&2
    exit "$status"
fi

build=build-windows
list=$build/test-binaries.txt
if [ ! -f "$list" ]; then
    echo "no $list: run tools/build-windows.sh first" >&2
    exit 2
fi

export WINEPREFIX=$PWD/$build/wine-prefix
. tools/wine-prefix.sh
trap 'wineserver -k 2>/dev/null || true' EXIT
wine_prefix_up "$build/wineboot.log" || exit 1
# "MS Sans Serif" as on every Windows, drawn as bitmaps (sserife.fon), not
# as Wine's outline stand-in, so that the window's tests meet the face the
# form's labels get on Windows.
wine_fonts /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/sserife.fon
rm -f "$WINEPREFIX/drive_c/windows/Fonts/ms_sans_serif.ttf"
# Windows are made without a display: Wine's null graphics driver, which
# needs no X server and closes a window at once.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null

# Left to Linux: a damaged file written and opened for each byte of the
# catalog's and the table definition's pages, tens of thousands of times,
# which takes minutes under Wine for code that is the same on both systems.
# The tests named InFrench run apart, as a French user's session.
filter='-*DamagedDefinitionTest.AnyOneChangedByteOfTheCatalogOrDefinitionEnds/*:*InFrench*'

failed=()
while IFS= read -r binary; do
    [ -n "$binary" ] || continue
    name=$(basename "$binary")
    echo "== $name"
    start=$SECONDS
    if wine "$binary" --gtest_brief=1 --gtest_filter="$filter" </dev/null; then
        echo "== $name passed in $((SECONDS - start)) s"
    else
        echo "== $name FAILED in $((SECONDS - start)) s"
        failed+=("$name")
    fi
    if [ "$name" = win32_window_tests.exe ]; then
        echo "== $name, in French"
        if ! LC_ALL=fr_FR.UTF-8 LANG=fr_FR.UTF-8 wine "$binary" --gtest_brief=1 --gtest_filter='*InFrench*' </dev/null; then
            echo "== $name FAILED in French"
            failed+=("$name (French)")
        fi
    fi
done < "$list"

# Threads that read a table and end, under Wine's checks of the heap: the
# C++ run-time once freed, at each such thread's end, what its freed
# thread-local storage held, which corrupted the heap now and then, and a
# plain run passes by it almost always.
echo "== jet_engine_tests.exe, the heap checked"
start=$SECONDS
checked=$build/heap-checked.log
if WINEDEBUG=warn+heap wine "$build/tests/jet_engine/jet_engine_tests.exe" --gtest_brief=1 \
        --gtest_filter='LaterColumnsTest.*:Shapes/StreamedShapeTest.*' </dev/null >"$checked" 2>&1 \
        && ! grep -q 'warn:heap' "$checked"; then
    echo "== jet_engine_tests.exe, the heap checked, passed in $((SECONDS - start)) s"
else
    grep -m 20 -e 'warn:heap' -e FAILED "$checked" >&2 || tail -n 20 "$checked" >&2
    echo "== jet_engine_tests.exe, the heap checked, FAILED"
    failed+=("jet_engine_tests.exe (heap checked)")
fi

wineserver -k 2>/dev/null || true
echo "== windows_installer_test.sh"
start=$SECONDS
if bash tests/packaging/windows_installer_test.sh "$build" </dev/null; then
    echo "== windows_installer_test.sh passed in $((SECONDS - start)) s"
else
    echo "== windows_installer_test.sh FAILED in $((SECONDS - start)) s"
    failed+=(windows_installer_test.sh)
fi

if ((${#failed[@]})); then
    echo "failed under Wine: ${failed[*]}" >&2
    exit 1
fi
echo "every Windows test passed under Wine"
