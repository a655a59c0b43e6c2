#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR).
# PAYROLL_WERROR=ON makes every compiler warning an error (scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPAYROLL_WERROR="${PAYROLL_WERROR:-OFF}" >/dev/null
ninja -C "$BUILD_DIR"
