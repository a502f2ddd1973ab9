#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: a normal build (the release type, the
# one that ships, with its own optimiser warnings), a build under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the libFuzzer targets for a few seconds each. Undefined behaviour
# stops a fuzz target, so a finding makes this script fail.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/install-deps.sh

jobs="$(nproc)"
fuzz_seconds="${PSA_FUZZ_SECONDS:-5}"
export QT_QPA_PLATFORM=offscreen

echo "== normal build (Release)"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j "$jobs"
ctest --test-dir build-release --output-on-failure -j "$jobs"

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPSA_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzz targets (${fuzz_seconds}s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPSA_FUZZ=ON -DPSA_BUILD_TESTS=OFF -DPSA_BUILD_GUI=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
fuzz_failed=0
fuzz_run=0
if [ -f build-fuzz/fuzzers.txt ]; then
  while read -r name corpus; do
    [ -n "$name" ] || continue
    work="build-fuzz/corpus-work/$name"
    mkdir -p "$work"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    echo "-- $name"
    if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 "build-fuzz/bin/$name" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 "$work" >"build-fuzz/$name.log" 2>&1; then
      echo "FUZZ FAILURE in $name:"; tail -n 40 "build-fuzz/$name.log"; fuzz_failed=1
    fi
    fuzz_run=$((fuzz_run + 1))
  done < build-fuzz/fuzzers.txt
fi
echo "fuzz targets run: $fuzz_run"
exit "$fuzz_failed"
