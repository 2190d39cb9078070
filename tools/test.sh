#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit, end-to-end and
# window tests (the window offscreen), then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the package and the fuzz targets.
set -euo pipefail
# Each phase's start, with the time since the command began.
phase() { printf '== %dm%02ds: %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }
phase "installing what is missing, building build/"
setup_for=test
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# The tests of the optimised build run while the sanitizer build compiles: they wait on
# files, processes and a browser more than on the cores. Their report follows the build.
export QT_QPA_PLATFORM=offscreen
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
phase "testing build/ while build-sanitize/ is built"
ctest --test-dir build --output-on-failure -j "$jobs" >"$logs/ctest.log" 2>&1 &
optimised_tests=$!

# The unit and end-to-end tests again, under AddressSanitizer and
# UndefinedBehaviorSanitizer, in the clang build that also makes the fuzz targets (one
# sanitized build, not two): -O1 with line tables is enough for the sanitizers' reports.
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DARBORA_GUI=OFF -DARBORA_SANITIZE=ON \
  -DARBORA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"
cmake --build build-sanitize -j "$jobs"
tested=yes
wait "$optimised_tests" || tested=no
cat "$logs/ctest.log"
[ "$tested" = yes ] || exit 1
# The Debian package (its contents, desktop entry, metadata, man pages and lintian, and
# the unpacked programs) is checked while the sanitized tests run; its report follows.
phase "testing build-sanitize/ while the package is checked"
bash tools/check-package.sh build >"$logs/package.log" 2>&1 &
package=$!
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
packaged=yes
wait "$package" || packaged=no
cat "$logs/package.log"
[ "$packaged" = yes ] || exit 1

# The fuzz targets (built above with libFuzzer and the sanitizers): a short bounded run
# of each over its seed corpus.
phase "fuzzing"
ARBORA_FUZZ_BUILD=build-sanitize bash fuzz/run.sh
phase "every test passed"
