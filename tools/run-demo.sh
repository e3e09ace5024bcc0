#!/usr/bin/env bash
# Installs what is missing, builds the program, writes the demo database into
# a Wine-style C: drive under the build tree and starts the program on it.
# The user's own ~/.wine is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

build=${BUILD_DIR:-build-demo}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFICHE_BUILD_TESTS=OFF
cmake --build "$build" -j"$(nproc)" --target fiche-article demo-database

prefix="$PWD/$build/demo-prefix"
mkdir -p "$prefix/drive_c/VANTORELISK"
"$build/tools/demo_database/demo-database" "$prefix/drive_c/VANTORELISK/TABLEARTICLE.MDB"
WINEPREFIX="$prefix" exec "$build/src/fiche-article"
