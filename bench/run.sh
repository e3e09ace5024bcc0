#!/usr/bin/env bash
# Builds in Release and runs the speed benchmark: the real window against rg,
# grep, fzf and mdb-export over the same designations, at 10k, 100k and 1M
# articles. Databases are written once under build-bench/data and reused.
#   bash bench/run.sh [--sizes 10000,100000] [--reps 21]
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh ripgrep fzf python3

build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFICHE_BUILD_TESTS=OFF -DFICHE_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fiche-bench bench-make-db article-query
mkdir -p "$build/data"
exec /usr/bin/python3 bench/run.py "$build" "$build/data" "$@"
