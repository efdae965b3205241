#!/usr/bin/env bash
# Runs the libFuzzer campaigns: every fuzz target (or those named), one after
# another, each for SECONDS (default 600) or RUNS executions (default
# 10,000,000), whichever comes first, under AddressSanitizer and
# UndefinedBehaviorSanitizer, at the lowest CPU priority.
# Usage: scripts/fuzz.sh [target-name...]     e.g. scripts/fuzz.sh syspar configure
# Each target starts from its seeds in fuzz/corpus/<name>/ and grows a working
# corpus in build-fuzz/corpus/<name>/; inputs that crash land in
# build-fuzz/findings/. A summary line per target goes to build-fuzz/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds="${SECONDS_PER_TARGET:-600}"
runs="${RUNS:-10000000}"
build=build-fuzz

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DWITH_LIBFUZZER=ON -DWITH_ASAN=ON -DBUILD_TESTING=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/fuzz_*.cpp; do
        name="$(basename "$src" .cpp)"
        targets+=("${name#fuzz_}")
    done
fi

nice -n 19 cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
mkdir -p "$build/findings" "$build/logs"
for name in "${targets[@]}"; do
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    log="$build/logs/$name.log"
    echo "== fuzz_$name: ${seconds}s or $runs runs =="
    status=0
    (cd "$build" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 \
        nice -n 19 "fuzz/fuzz_$name" -max_total_time="$seconds" -runs="$runs" -print_final_stats=1 \
        -artifact_prefix="$root/$build/findings/$name-" "$root/$corpus" "$root/fuzz/corpus/$name") \
        >"$log" 2>&1 || status=$?
    execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
    last="$(grep -E '^#[0-9]+' "$log" | tail -1 || true)"
    cov="$(echo "$last" | grep -o 'cov: [0-9]*' | grep -o '[0-9]*' || echo '?')"
    ft="$(echo "$last" | grep -o 'ft: [0-9]*' | grep -o '[0-9]*' || echo '?')"
    secs="$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]*' | grep -o '[0-9]*' || echo '?')"
    found="$(ls "$build/findings" | grep -c "^$name-" || true)"
    line="fuzz_$name: exit $status, $execs executions in ${secs}s, cov $cov, ft $ft, corpus $(ls "$corpus" | wc -l), findings $found"
    echo "$line" | tee -a "$build/summary.txt"
done
