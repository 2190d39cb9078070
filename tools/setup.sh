#!/usr/bin/env bash
# Installs the Debian packages ARBORA needs that are missing, then configures and
# builds build/. Sourced by run.sh (setup_for=run: only what the window and the runner
# need, built without the tests, so that a fresh machine shows the window within
# minutes) and by test.sh (setup_for=test, the default: also the test, fuzzing,
# browser and packaging tools, and the tests built).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
setup_for=${setup_for:-test}

# The window and the runner: compiler, Qt, the libraries the runner links, GDAL and
# PROJ for its GIS module, COIN-OR Clp and Cbc for harvest planning, Chart.js for the
# estate report, rsvg-convert for the icons.
packages=(g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
          libqt6svg6 librsvg2-bin
          libsqlite3-dev libcsv-dev libcli11-dev libfmt-dev libjs-chart.js
          libgdal-dev libproj-dev coinor-libclp-dev coinor-libcbc-dev)
if [ "$setup_for" = test ]; then
  # The tests, the benchmarks, the fuzz targets (clang), the browser check of the
  # estate report, and the package checks.
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev sqlite3 gdal-bin
             clang libclang-rt-14-dev chromium poppler-utils
             dpkg-dev file man-db lintian desktop-file-utils appstream)
fi
missing=()
for package in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" = "install ok installed" ] ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
# New build folders use Ninja, which compiles a target's files while the libraries it
# links are still being built, where make waits for them: the builds take a sixth less
# on two cores. A folder configured before keeps its generator.
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}
testing=ON
[ "$setup_for" = run ] && testing=OFF
# Line tables only (-g1): enough for a debugger's backtrace, and a fifth faster to build;
# the package strips them anyway.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  -DARBORA_GUI=ON -DARBORA_SANITIZE=OFF -DBUILD_TESTING="$testing"
cmake --build build -j "$jobs"
