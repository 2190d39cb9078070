#!/usr/bin/env bash
# Each folder of the core may include only from itself and the folders before it in
# this list: data flows one way, from the models up to the runner and the window.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
layers=(settings report volume growth biomass commands inventory management accounting planning gis estate)
status=0
for ((i = 0; i < ${#layers[@]}; i++)); do
  folder=${layers[i]}
  [ -d "$folder" ] || continue
  higher=("${layers[@]:i+1}" cli shell)
  pattern=$(IFS='|'; echo "${higher[*]}")
  if grep -rnE --include="*.h" --include="*.cpp" "#include \"($pattern)/" "$folder"; then
    echo "check-layering: $folder/ includes from a folder above it (above)" >&2
    status=1
  fi
done
exit $status
