#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz/ (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them over their seed corpora in fuzz/corpus/.
#
#   bash fuzz/run.sh                                 every target, a short bounded run
#   bash fuzz/run.sh editing                         one target, the same short run
#   bash fuzz/run.sh editing -max_total_time=600     one target with libFuzzer's options
#
# Fails when a target crashes or finds a result that breaks its rules; the input that
# did it is kept in build-fuzz/artifacts/. Inputs found on the way go to a temporary
# directory, never into the seed corpora.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The test command builds the targets together with the sanitized unit tests and names
# that build in ARBORA_FUZZ_BUILD; on its own, this script configures build-fuzz.
build=${ARBORA_FUZZ_BUILD:-build-fuzz}
if [ -z "${ARBORA_FUZZ_BUILD:-}" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DARBORA_GUI=OFF -DARBORA_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" \
    >/dev/null
fi
cmake --build "$build" -j "${jobs:-$(nproc)}" --target arbora_fuzz

if [ $# -gt 0 ]; then
  targets=("$1")
  shift
else
  targets=()
  for corpus in fuzz/corpus/*/; do
    targets+=("$(basename "$corpus")")
  done
fi

artifacts="$(realpath -m "$build")/artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"

# The short run of one target: a bounded number of inputs, none allowed to take long.
short_run() {
  local name=$1 runs=10000
  [ "$name" = reports ] && runs=500  # seven report files per input
  local log="$work/$name.log"
  if "$build/fuzz/fuzz_$name" -artifact_prefix="$artifacts/" -runs=$runs -max_total_time=3 \
      -timeout=10 "$work/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
    echo "fuzz_$name: $(grep -E '^Done [0-9]+ runs' "$log" || tail -n 1 "$log")"
  else
    cat "$log"
    echo "fuzz_$name FAILED; the input is in $artifacts/" >&2
    return 1
  fi
}

mkdir -p "${targets[@]/#/$work/}"
if [ $# -gt 0 ]; then
  "$build/fuzz/fuzz_${targets[0]}" -artifact_prefix="$artifacts/" "$@" "$work/${targets[0]}" \
    "fuzz/corpus/${targets[0]}" ||
    { echo "fuzz_${targets[0]} FAILED; the input is in $artifacts/" >&2; exit 1; }
  exit 0
fi

# Short runs go side by side in one lane a core, each lane running its targets in turn.
lanes=${jobs:-$(nproc)}
pids=()
for ((lane = 0; lane < lanes; lane++)); do
  (
    status=0
    for ((i = lane; i < ${#targets[@]}; i += lanes)); do
      short_run "${targets[i]}" || status=1
    done
    exit $status
  ) &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done
exit $failed
