#!/usr/bin/env bash
# Builds in Release and runs the speed benchmark: the real window against rg,
# grep, fzf and mdb-export over the same designations, at 10k, 100k and 1M
# articles. Databases are written once under build-bench/data and reused.
#   bash bench/run.sh [--sizes 10000,100000] [--reps 21]
# With --windows, the Win32 window instead, cross-built and run under Wine
# beside the Qt window on the same files, and nothing else:
#   bash bench/run.sh --windows [--sizes 1000000] [--reps 9]
set -euo pipefail
cd "$(dirname "$0")/.."

windows=0
args=()
for arg in "$@"; do
    if [ "$arg" = --windows ]; then
        windows=1
    else
        args+=("$arg")
    fi
done

if ((!windows)); then
    bash tools/install-deps.sh ripgrep fzf python3

    build=${BUILD_DIR:-build-bench}
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFICHE_BUILD_TESTS=OFF -DFICHE_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" -j"$(nproc)" --target fiche-bench bench-make-db article-query
    mkdir -p "$build/data"
    exec /usr/bin/python3 bench/run.py "$build" "$build/data" "$@"
fi

bash tools/install-deps.sh python3
bash tools/install-deps.sh --windows xvfb openbox

build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFICHE_BUILD_TESTS=OFF -DFICHE_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fiche-bench bench-make-db
windows_build=${WINDOWS_BUILD_DIR:-build-windows-bench}
cmake -S . -B "$windows_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFICHE_BUILD_TESTS=OFF -DFICHE_BUILD_BENCH=ON \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$windows_build" -j"$(nproc)" --target fiche-bench-win32
mkdir -p "$build/data"

# Wine's X11 driver paints for real, so it needs a display: a virtual one,
# with a window manager as a desktop has, unless there is one already.
xvfb_pid=
openbox_pid=
export WINEPREFIX=$PWD/$build/wine-prefix
stop_all() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [ -z "$openbox_pid" ] || kill "$openbox_pid" 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap stop_all EXIT
if [ -z "${DISPLAY:-}" ]; then
    display_file=$build/xvfb.display
    : >"$display_file"
    Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$display_file" 2>"$build/xvfb.log" </dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    if [ ! -s "$display_file" ]; then
        cat "$build/xvfb.log" >&2
        echo "Xvfb did not start" >&2
        exit 1
    fi
    export DISPLAY=:$(head -n 1 "$display_file")
    openbox >/dev/null 2>&1 </dev/null &
    openbox_pid=$!
fi

# One prefix for every size, whose drive C holds the size's file, and one
# server for the whole run.
. tools/wine-prefix.sh
wine_prefix_up "$build/wineboot.log" || exit 1
wine_fonts /usr/share/wine/fonts/*.ttf
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null

/usr/bin/python3 bench/run.py "$build" "$build/data" \
    --windows "$windows_build/bench/fiche-bench-win32.exe" ${args[@]+"${args[@]}"}
