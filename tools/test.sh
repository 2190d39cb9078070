#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit, end-to-end and
# window tests (the window offscreen), then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
setup_for=test
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$jobs"

# Line tables only (-g1) are enough for the sanitizers' reports, and build a fifth faster.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DARBORA_GUI=OFF -DARBORA_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_DEBUG=-g1
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# The Debian package: its contents, desktop entry, metadata, man pages and lintian, and
# the unpacked programs.
bash tools/check-package.sh build

# The fuzz targets (clang, libFuzzer, sanitizers): a short bounded run of each over its
# seed corpus.
bash fuzz/run.sh
