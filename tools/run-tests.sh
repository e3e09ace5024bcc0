#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
