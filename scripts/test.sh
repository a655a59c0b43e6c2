#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then the visual
# tests (labels ui and app) once more in a real X server (Xvfb), so that
# real windows are exercised on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The build stays warning-free: a new warning fails the test command.
PAYROLL_WERROR=ON bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
# The tests set QT_QPA_PLATFORM=offscreen themselves; PAYROLL_TEST_QPA
# overrides it.  -noreset keeps the server up between test programs (a
# server resetting after its last client refuses the next one meanwhile).
# The X server's clipboard is one for all programs: the clipboard tests
# run one after another there, the rest in parallel.
PAYROLL_TEST_QPA=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  sh -c 'ctest -L "ui|app" -E Clipboard --output-on-failure -j"$(nproc)" --timeout 300 &&
         ctest -L "ui|app" -R Clipboard --output-on-failure -j1 --timeout 300'
