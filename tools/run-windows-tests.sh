#!/usr/bin/env bash
# Runs each Windows test binary of build-windows/ (tools/build-windows.sh)
# once under Wine, in a prefix of its own, build-windows/wine-prefix: never
# ~/.wine. One persistent wineserver serves every run, since starting one per
# process costs most of a second; it is stopped at the end, failure or not.
# The whole stage has a time limit (seconds, default 1800).
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
export WINEDEBUG=-all
# No offer to install Mono or Gecko, no menu entries for the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

mkdir -p "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null || true' EXIT
wineserver -p
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX"
    wineboot -i
    # Debian's Wine loads the fonts it ships only from the prefix.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

# Left to Linux: one damaged file written and opened for every byte of the
# catalog and the table's definition, some 30000 times, which takes minutes
# under Wine for code that is the same on both systems.
filter='-*DamagedDefinitionTest.AnyOneChangedByteOfTheCatalogOrDefinitionEnds/*'

failed=()
while IFS= read -r binary; do
    [ -n "$binary" ] || continue
    name=$(basename "$binary")
    echo "== $name"
    start=$SECONDS
    if wine "$binary" --gtest_brief=1 --gtest_filter="$filter"; then
        echo "== $name passed in $((SECONDS - start)) s"
    else
        echo "== $name FAILED in $((SECONDS - start)) s"
        failed+=("$name")
    fi
done < "$list"

if ((${#failed[@]})); then
    echo "failed under Wine: ${failed[*]}" >&2
    exit 1
fi
echo "every Windows test binary passed under Wine"
