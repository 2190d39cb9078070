#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit, end-to-end and
# window tests (the window offscreen), then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the package and the fuzz targets.
set -euo pipefail
setup_for=test
setup_build=no
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# The unit and end-to-end tests run twice: in the optimised gcc build, and under
# AddressSanitizer and UndefinedBehaviorSanitizer in the clang build that also makes the
# fuzz targets (one sanitized build, not two; -O1 with line tables is enough for the
# sanitizers' reports). The two builds run side by side, each filling the cores the
# other leaves idle while it links; a build's output is shown when it fails.
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DARBORA_GUI=OFF -DARBORA_SANITIZE=ON \
  -DARBORA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
cmake --build build -j "$jobs" >"$logs/build.log" 2>&1 &
optimised=$!
cmake --build build-sanitize -j "$jobs" >"$logs/build-sanitize.log" 2>&1 &
sanitized=$!
built=yes
wait "$optimised" || { cat "$logs/build.log"; built=no; }
wait "$sanitized" || { cat "$logs/build-sanitize.log"; built=no; }
[ "$built" = yes ] || { echo "the build failed" >&2; exit 1; }
echo "built build/ and build-sanitize/"
grep -h "warning:" "$logs"/*.log || true  # the build is meant to be free of them

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# The Debian package: its contents, desktop entry, metadata, man pages and lintian, and
# the unpacked programs.
bash tools/check-package.sh build

# The fuzz targets (built above with libFuzzer and the sanitizers): a short bounded run
# of each over its seed corpus.
ARBORA_FUZZ_BUILD=build-sanitize bash fuzz/run.sh
