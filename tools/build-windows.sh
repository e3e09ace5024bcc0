#!/usr/bin/env bash
# Cross-compiles for 64-bit Windows, into build-windows/: the engine, the
# writer, article-query.exe and the test binaries that need neither Qt nor
# libmdb (listed in build-windows/test-binaries.txt, which
# tools/run-windows-tests.sh runs under Wine), and the installer,
# build-windows/fiche-article-<version>-win64.exe (NSIS, through CPack).
# mingw-w64 links each .exe statically: nothing else to ship beside it.
# Installs the Debian packages it needs when missing.
#
#   bash tools/build-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh --windows

build=build-windows
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G NSIS)
