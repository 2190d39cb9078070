#!/usr/bin/env bash
# Installs the Debian packages ARBORA needs that are missing, then configures and
# builds build/ (the window and the runner). Sourced by run.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(g++ make cmake libgtest-dev libgmock-dev qt6-base-dev qt6-base-dev-tools
          libgl-dev fonts-dejavu-core
          libqt6svg6 librsvg2-bin dpkg-dev file man-db lintian desktop-file-utils appstream
          clang libclang-rt-14-dev
          libsqlite3-dev sqlite3 libcsv-dev libcli11-dev libfmt-dev libbenchmark-dev
          libjs-chart.js chromium poppler-utils nlohmann-json3-dev
          libgdal-dev libproj-dev gdal-bin)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARBORA_GUI=ON -DARBORA_SANITIZE=OFF
cmake --build build -j "$jobs"
