#!/usr/bin/env bash
# Coverage-guided fuzzing of every reader of outside data (fuzz/FuzzTargets.h)
# with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [-t seconds] [-j parallel] [target...]   run (default: 600 s, all targets, 4 at a time)
#   scripts/fuzz.sh --build                                 only build
#   scripts/fuzz.sh --seeds                                 rewrite the generated seeds in fuzz/corpus
#
# Clang builds a copy of the tree whose narrow literals were turned into
# GB18030 bytes (scripts/fuzz/gbk-sources.py): build-fuzz/src, built into
# build-fuzz/out.  Each target starts from its seeds (fuzz/corpus/<target>)
# and keeps what it learns in build-fuzz/corpus/<target>; it runs in fork
# mode, so a crash, timeout or out-of-memory is written to
# build-fuzz/findings/<target>/ and the run goes on.  Logs:
# build-fuzz/logs/<target>.log; the summary gives executions and findings
# per target.  A finding is mended with a test, or its input goes into
# fuzz/corpus/<target>/ so that the corpus replay test (ctest -L fuzz) keeps it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_PER_TARGET=600
PARALLEL=4
MODE=run
TARGETS=()
while [ $# -gt 0 ]; do
  case "$1" in
    -t) SECONDS_PER_TARGET=$2; shift 2 ;;
    -j) PARALLEL=$2; shift 2 ;;
    --build) MODE=build; shift ;;
    --seeds) MODE=seeds; shift ;;
    *) TARGETS+=("$1"); shift ;;
  esac
done
ALL=(sql_query udb_filter udb_file report_template report_prepared report_script
     grid_text grid_grddbif text_form pay_formula gz_ini)
if [ ${#TARGETS[@]} -eq 0 ]; then TARGETS=("${ALL[@]}"); fi

bash scripts/install-deps.sh clang libclang-rt-14-dev
bash scripts/install-deps.sh

python3 scripts/fuzz/gbk-sources.py . build-fuzz/src
FLAGS="-O1 -gline-tables-only -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S build-fuzz/src -B build-fuzz/out -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DPAYROLL_TESTS=OFF -DPAYROLL_BENCH=OFF -DPAYROLL_FUZZ=ON \
  -DCMAKE_C_FLAGS="-fsanitize=address,undefined" -DCMAKE_CXX_FLAGS="$FLAGS" >/dev/null
nice ninja -C build-fuzz/out -j"${PAYROLL_FUZZ_BUILD_JOBS:-4}" $(printf 'fuzz_%s ' "${TARGETS[@]}") >/dev/null

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
case $MODE in
  build) exit 0 ;;
  seeds) PAYROLL_FUZZ_WRITE_SEEDS="$ROOT/fuzz/corpus" build-fuzz/out/fuzz/fuzz_udb_file; exit 0 ;;
esac

run_one() {
  local t=$1 dict=()
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t" build-fuzz/logs
  if [ -f "fuzz/dict/$t.dict" ]; then dict=(-dict="fuzz/dict/$t.dict"); fi
  nice -n 19 "build-fuzz/out/fuzz/fuzz_$t" "build-fuzz/corpus/$t" "fuzz/corpus/$t" "${dict[@]}" \
    -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$SECONDS_PER_TARGET" -timeout=20 -rss_limit_mb=2048 -max_len=200000 \
    -artifact_prefix="build-fuzz/findings/$t/" >"build-fuzz/logs/$t.log" 2>&1 || true
}

running=0
for t in "${TARGETS[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ $running -ge "$PARALLEL" ]; then wait -n; running=$((running - 1)); fi
done
wait

printf '%-16s %12s %8s %s\n' target executions findings "last status"
for t in "${TARGETS[@]}"; do
  last=$(grep -aE '^#[0-9]+' "build-fuzz/logs/$t.log" | tail -n 1 || true)
  execs=$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$last")
  found=$(find "build-fuzz/findings/$t" -type f | wc -l)
  printf '%-16s %12s %8s %s\n' "$t" "${execs:-?}" "$found" "$(cut -c1-80 <<<"$last")"
done
