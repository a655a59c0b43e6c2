#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the demo data
# folder.  Until the payroll program exists it lists what there is to run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
if [ -x "$BUILD_DIR/app/main/payroll" ]; then
  exec "$BUILD_DIR/app/main/payroll"
fi
echo
echo "The payroll program is not built yet.  What there is to run:"
echo "  all tests:   (cd $BUILD_DIR && ctest), or one folder: ctest -L udb"
echo "  test programs:"
find "$BUILD_DIR/tests" -type f -executable -name '*Test' | sort | sed 's/^/    /'
echo "  benchmarks:"
find "$BUILD_DIR/bench" -maxdepth 1 -type f -executable -name 'bench_*' 2>/dev/null | sort | sed 's/^/    /'
echo "  tools:"
find "$BUILD_DIR/tools" -maxdepth 2 -type f -executable 2>/dev/null | sort | sed 's/^/    /'
echo "  the example form of the visual layer, in a window: $BUILD_DIR/tools/uidemo/uidemo"
