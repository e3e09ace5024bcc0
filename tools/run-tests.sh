#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the test suite.
#
#   bash tools/run-tests.sh          the suite, in build/
#   bash tools/run-tests.sh --full   the suite, then the suite again built
#                                    with AddressSanitizer and
#                                    UndefinedBehaviorSanitizer (build-asan/,
#                                    any report fails it), the Windows build
#                                    (build-windows/) with its tests run under
#                                    Wine, then a one-minute fuzzing pass per
#                                    target (tools/fuzz.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

full=0
case "${1:-}" in
    "") ;;
    --full) full=1 ;;
    *) echo "usage: $0 [--full]" >&2; exit 2 ;;
esac

if ((full)); then
    bash tools/install-deps.sh clang-14 libclang-rt-14-dev
else
    bash tools/install-deps.sh
fi

# Each stage's time, for the record of what a run costs.
stage_start=$SECONDS
stage_done() {
    echo "== stage: $1 in $((SECONDS - stage_start)) s"
    stage_start=$SECONDS
}

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
stage_done "build"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
stage_done "tests"

if ((full)); then
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFICHE_SANITIZE=ON
    cmake --build build-asan -j"$(nproc)"
    stage_done "sanitizer build"
    # Leak reports stay on, with no suppressions; a sanitizer report aborts
    # the test that made it.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
    stage_done "sanitizer tests"
    bash tools/build-windows.sh
    stage_done "Windows build"
    bash tools/run-windows-tests.sh
    stage_done "Windows tests under Wine"
    bash tools/fuzz.sh 60
    stage_done "fuzzing"
fi
