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
# and keeps what it learns in build-fuzz/corpus/<target>; a crash, timeout
# or out-of-memory is written to build-fuzz/findings/<target>/ and the
# target starts again.  Logs: build-fuzz/logs/<target>.<round>.log; the
# summary gives executions, rounds and findings per target.  A finding is mended with a test, or its input goes into
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

# One target for the whole time: libFuzzer stops at a finding (its input
# goes to build-fuzz/findings/<target>/), so the run is started again, with
# the corpus it has grown, until the time is up.  (Fork mode would go on by
# itself, but starting a job of a target that opens a database or Qt costs
# more than the job fuzzes.)
run_one() {
  local t=$1 extra=() end=$((SECONDS + SECONDS_PER_TARGET)) round=0
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t" build-fuzz/logs
  rm -f "build-fuzz/logs/$t".*.log
  if [ -f "fuzz/dict/$t.dict" ]; then extra=(-dict="fuzz/dict/$t.dict"); fi
  # A database file is large; every other input stays within libFuzzer's default.
  if [ "$t" = udb_file ]; then extra+=(-max_len=262144); fi
  while [ $SECONDS -lt $((end - 5)) ]; do
    local started=$SECONDS
    round=$((round + 1))
    nice -n 19 "build-fuzz/out/fuzz/fuzz_$t" "build-fuzz/corpus/$t" "fuzz/corpus/$t" "${extra[@]}" \
      -max_total_time=$((end - SECONDS)) -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$t/" >"build-fuzz/logs/$t.$round.log" 2>&1 || true
    if [ $((SECONDS - started)) -lt 5 ]; then sleep 5; fi  # a finding at start: no busy loop
  done
}

running=0
for t in "${TARGETS[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ $running -ge "$PARALLEL" ]; then wait -n || true; running=$((running - 1)); fi
done
wait || true

printf '%-16s %12s %7s %s\n' target executions rounds "findings (crash timeout oom slow)"
for t in "${TARGETS[@]}"; do
  execs=0 rounds=0
  for log in "build-fuzz/logs/$t".*.log; do
    [ -f "$log" ] || continue
    rounds=$((rounds + 1))
    n=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
    [ -n "$n" ] || n=$(grep -aoE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
    execs=$((execs + ${n:-0}))
  done
  found=""
  for kind in crash timeout oom slow-unit; do
    found+="$(find "build-fuzz/findings/$t" -type f -name "$kind-*" | wc -l) "
  done
  printf '%-16s %12s %7s %s\n' "$t" "$execs" "$rounds" "$found"
done
