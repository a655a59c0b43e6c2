#!/usr/bin/env bash
# The long run of the engine's load test: 1, 2, 4 and 8 writer processes
# move amounts between rows inside transactions while two readers total
# them; prints commits per second and retries for each.
#   scripts/load-test.sh [seconds per configuration] [none|normal|full]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
ninja -C "$BUILD_DIR" udb_LoadTest >/dev/null
export PAYROLL_LOAD_SECONDS=${1:-10}
[ -n "${2:-}" ] && export PAYROLL_LOAD_FLUSH=$2
"$BUILD_DIR/tests/udb/udb_LoadTest"
