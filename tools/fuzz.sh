#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz and runs both for SECONDS each (default 600), side by side:
#   engine_fuzz   the engine's whole path over a damaged database file
#   pattern_fuzz  the query text reader and the LIKE matcher
# Seeds are written fresh by our .mdb writer; the corpus grows in
# build-fuzz/work/<target>/corpus and is kept between runs. Findings land in
# build-fuzz/work/<target>/artifacts; the script fails when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
build=${FUZZ_BUILD_DIR:-build-fuzz}

# Debian's clang-14 package names the compiler clang++-14.
compiler=$(command -v clang++-14 || command -v clang++)
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFICHE_BUILD_FUZZ=ON -DFICHE_SANITIZE=ON -DFICHE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target engine_fuzz pattern_fuzz make_fuzz_seeds

work=$build/work
for target in engine_fuzz pattern_fuzz; do
    mkdir -p "$work/$target/corpus" "$work/$target/seeds" "$work/$target/artifacts"
done
"$build/fuzz/make_fuzz_seeds" "$work/engine_fuzz/seeds"
i=0
for pattern in 'E' '*E*' 'VIS*M6' '[A-Z]#?' '[!0-9]*' '*[*]*' "D''ARRET" 'É[È-Ë]'; do
    printf '%s\0VIS TETE M6\nÉCROU\n*E*\n' "$pattern" >"$work/pattern_fuzz/seeds/seed$i"
    i=$((i + 1))
done

pids=()
for target in engine_fuzz pattern_fuzz; do
    dir=$work/$target
    rm -f "$dir/artifacts/"*
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=131072 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
        "$dir/corpus" "$dir/seeds" >"$dir/log" 2>&1 &
    pids+=($!)
done
status=0
for pid in "${pids[@]}"; do
    wait "$pid" || status=1
done
for target in engine_fuzz pattern_fuzz; do
    dir=$work/$target
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$' || echo '?')
    found=$(find "$dir/artifacts" -type f | wc -l)
    echo "$target: $runs runs in ${seconds}s, $found findings (log: $dir/log)"
    [ "$found" -eq 0 ] || status=1
done
exit "$status"
