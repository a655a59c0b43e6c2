#!/usr/bin/env bash
# Installs what is missing, builds the program and the demo data folder
# <build>/demo (GZ.udb and gz.ini built by tools/demodata from
# tools/demodata/demo, and a copy of the program, which keeps its data in
# its own folder) - no tests, no benchmarks - and starts the program there.
# Log in as ADMIN with the password 123.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh payroll_demo
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR/demo"
exec ./payroll
