#!/usr/bin/env bash
# Installs every build, run and test dependency that is missing (Debian 12).
#   install-deps.sh               the project's packages
#   install-deps.sh pkg...        only these (scripts/fuzz.sh: clang and its fuzzer runtime)
set -euo pipefail
PACKAGES=(
  g++ cmake ninja-build ccache pkg-config bison
  libgtest-dev libgmock-dev googletest libbenchmark-dev libsqlite3-dev libsqlcipher0
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev libjpeg-dev libicu-dev libx11-dev
  fonts-wqy-zenhei fonts-wqy-microhei fonts-dejavu-core
  poppler-utils xvfb xauth
  python3-xlrd
)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
if [ $# -gt 0 ]; then
  PACKAGES=("$@")
# LibreOffice is optional: where it is installed, the tests read the
# exported worksheets (Calc) and the grid's RTF (Writer) back with it, so
# its Writer is added to a Calc-only installation.
elif installed libreoffice-core-nogui; then
  installed libreoffice-writer || PACKAGES+=(libreoffice-writer-nogui)
elif installed libreoffice-core; then
  installed libreoffice-writer-nogui || PACKAGES+=(libreoffice-writer)
fi
missing=()
for p in "${PACKAGES[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "Missing packages: ${missing[*]}" >&2
      echo "This user is not root and sudo is not installed; as root, run:" >&2
      echo "  apt-get install -y --no-install-recommends ${missing[*]}" >&2
      exit 1
    fi
    SUDO="sudo"
  fi
  echo "Installing: ${missing[*]}"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
