#!/usr/bin/env bash
# The long run of the engine's crash test: a child process doing random
# transactions and single changes, or catalogue changes (tables created,
# filled, restructured, renamed, emptied, deleted), is killed with SIGKILL
# again and again (at random moments and right after chosen page writes of
# a commit); after every kill the file is reopened and checked.  The test suite runs a few
# rounds; this runs PAYROLL_CRASH_ROUNDS (default 1000) per test.
#   scripts/crash-test.sh [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
ninja -C "$BUILD_DIR" udb_CrashTest >/dev/null
PAYROLL_CRASH_ROUNDS=${1:-${PAYROLL_CRASH_ROUNDS:-1000}} "$BUILD_DIR/tests/udb/udb_CrashTest"
