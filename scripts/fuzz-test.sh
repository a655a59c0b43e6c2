#!/usr/bin/env bash
# The long run of the file-reader fuzz test: PAYROLL_FUZZ_CASES (default
# 20000) patched files of each kind, in the sanitizer build (build-asan,
# see sanitize.sh) so that a read past a buffer stops the run.
#   scripts/fuzz-test.sh [cases]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPAYROLL_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer" >/dev/null
ninja -C build-asan udb_FileFuzzTest >/dev/null
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
PAYROLL_FUZZ_CASES=${1:-${PAYROLL_FUZZ_CASES:-20000}} build-asan/tests/udb/udb_FileFuzzTest
