#!/usr/bin/env bash
# Installs what the window and the runner need that is missing, builds them (not the
# tests: tools/test.sh builds and runs those), and starts ARBORA.
set -euo pipefail
setup_for=run
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# Without a display the window cannot open; the runner works without one.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MESSAGE'
ARBORA is built, but its window needs a display and there is none here (neither
DISPLAY nor WAYLAND_DISPLAY is set). Without a display, the runner writes the same
reports and projects inventories, for example:
  build/arbora-report site-index-table --species 3
  build/arbora-report inventory examples/stands.csv --report estate.html
build/arbora-report --help lists its commands and options.
MESSAGE
  exit 1
fi
exec ./build/arbora
