#!/usr/bin/env bash
# Installs what is missing, builds, and starts ARBORA.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
exec ./build/arbora
