#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR): everything, or only the
# targets named as arguments (scripts/run.sh builds the program and the demo
# folder alone).  PAYROLL_WERROR=ON makes every compiler warning an error
# (scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPAYROLL_WERROR="${PAYROLL_WERROR:-OFF}" >/dev/null
ninja -C "$BUILD_DIR" "$@"
