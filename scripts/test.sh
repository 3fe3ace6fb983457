#!/usr/bin/env bash
# Builds everything twice (plain, and with AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs every test in both builds, then the Windows build, then each fuzzing harness briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

werror=OFF
[ "${CI:-}" = true ] && werror=ON
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DH8_TESTS=ON -DH8_WERROR=$werror >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DH8_TESTS=ON -DH8_WERROR=$werror -DH8_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

# The Windows build: cross-compiled with mingw-w64, its tests run under wine.
scripts/test-windows.sh

# Each libFuzzer harness for 15 seconds on its seed corpus (scripts/fuzz.sh; clang build).
scripts/fuzz.sh 15
