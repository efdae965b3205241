#!/usr/bin/env bash
# Sets up, builds and runs every test: the plain build, clang-tidy over its
# sources, then the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

scripts/setup.sh build
echo "== tests =="
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== static analysis =="
scripts/tidy.sh build

scripts/setup.sh build-asan -DWITH_ASAN=ON -DCMAKE_BUILD_TYPE=Debug
echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
ctest --test-dir build-asan --output-on-failure -j"$jobs"
