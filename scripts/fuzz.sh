#!/usr/bin/env bash
# Builds the fuzz targets (clang and libFuzzer, -DVELMORA_BUILD_FUZZ=ON) and runs
# each for a fixed time on its seed corpus.
#
#   bash scripts/fuzz.sh [BUILD_DIR [SECONDS [TARGET...]]]
#
# BUILD_DIR defaults to build-fuzz, SECONDS to 15, TARGET to every target
# (registry ini database language lnk pe cli hive offline valve_key_values launcher_files).
# The seeds of a target are the real
# files in fuzz/corpus/<target>/ (and, for the registry, tests/fixtures/wine8/);
# they are only read. Inputs the run finds go to a temporary folder, an input that
# fails (crash, leak, broken property, time-out) to BUILD_DIR/fuzz-findings/<target>/.
# VELMORA_FUZZ_CORPUS=DIR keeps the inputs found in DIR/<target>/ instead (a campaign).
# Exit status 1 when a target failed.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-fuzz}
seconds=${2:-15}
targets=("${@:3}")
if ((${#targets[@]} == 0)); then targets=(registry ini database language lnk pe cli hive offline valve_key_values launcher_files); fi

# A sanitizer build made with clang holds the targets already; any other folder
# becomes a fuzz build.
if ! grep -qs '^VELMORA_SANITIZE:BOOL=ON' "$dir/CMakeCache.txt" ||
  ! grep -qs '^CMAKE_CXX_COMPILER:.*clang' "$dir/CMakeCache.txt"; then
  # shellcheck disable=SC2086  # the arguments are words
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ${VELMORA_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$dir" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in "${targets[@]}"; do
  findings="$dir/fuzz-findings/$target"
  mkdir -p "$findings"
  if [[ -n ${VELMORA_FUZZ_CORPUS:-} ]]; then
    work="$VELMORA_FUZZ_CORPUS/$target"
    mkdir -p "$work"
  else
    work=$(mktemp -d)
  fi
  seeds=("fuzz/corpus/$target")
  [[ $target == registry ]] && seeds+=(tests/fixtures/wine8)
  log="$findings/last-run.log"
  if "$dir/bin/fuzz_$target" -max_total_time="$seconds" -seed="${VELMORA_FUZZ_SEED:-0}" -timeout=25 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$work" "${seeds[@]}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    corpus=$(find "$work" -type f | wc -l)
    echo "fuzz_$target: ${runs:-?} runs in ${seconds}s, no failure (${corpus} new inputs)"
  else
    echo "fuzz_$target: FAILED, the input is in $findings/; the end of its log:"
    tail -40 "$log"
    status=1
  fi
  [[ -z ${VELMORA_FUZZ_CORPUS:-} ]] && rm -rf "$work"
done
exit $status
