#!/usr/bin/env bash
# A long campaign of one fuzz target in the fast build (build-fuzz-fast: libFuzzer
# and UBSan, without AddressSanitizer), at the lowest priority:
#
#   bash scripts/fuzz-campaign.sh TARGET RUNS WORK_DIR [JOBS [SEED]]
#
# JOBS processes (default 2) each run RUNS/JOBS inputs with their own random seed
# (SEED, SEED+1, ...; default 1) on the inputs kept in WORK_DIR/corpus/ (started
# from fuzz/corpus/TARGET/ and shared by the jobs: each reloads the folder now and
# then); their logs are WORK_DIR/job-SEED.log, a failing input goes to
# WORK_DIR/findings/. The command returns at once; `bash scripts/fuzz-campaign.sh
# --sum WORK_DIR` adds up the executions of every log there so far (a campaign
# continued with other seeds adds its logs to those of the runs before it).
# Since the fast build has no AddressSanitizer, the inputs a campaign kept are
# then run once through the sanitizer build (build-sanitize, or the folder
# VELMORA_SANITIZE_BUILD names):
#
#   bash scripts/fuzz-campaign.sh --check TARGET WORK_DIR
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --sum ]]; then
  # A finished job's count, or the last progress line of one still running
  # (libFuzzer's "#N", printed at each new input and at powers of two).
  total=0
  for log in "$2"/job-*.log; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    [[ -z $runs ]] && runs=$(grep -ao '^#[0-9]*' "$log" | tail -1 | tr -d '#')
    echo "$log: ${runs:-0} executions"
    total=$((total + ${runs:-0}))
  done
  echo "together: $total executions"
  exit 0
fi

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if [[ ${1:-} == --check ]]; then
  target=$2 work=$3 dir=${VELMORA_SANITIZE_BUILD:-build-sanitize}
  cmake --build "$dir" --target "fuzz_$target"
  mkdir -p "$work/findings"
  # -runs=0: the inputs of the folder once each, nothing more.
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
    nice -n 19 "$dir/bin/fuzz_$target" -runs=0 -timeout=60 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" "fuzz/corpus/$target"
  exit
fi

target=$1 runs=$2 work=$3 jobs=${4:-2} seed=${5:-1}
build="build-fuzz-fast"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_FUZZ=ON \
  -DVELMORA_FUZZ_SANITIZERS=undefined -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target "fuzz_$target"
mkdir -p "$work/corpus" "$work/findings"
# The binary is copied, so that a rebuild does not change a running campaign.
cp "$build/bin/fuzz_$target" "$work/fuzz_$target"
# No symbolizer is started while a campaign runs: -print_funcs=0 leaves the names
# of newly covered functions out of the log, and symbolize=0 makes a failure's
# report print addresses (the failing input is saved either way, and is replayed
# through the sanitizer build for a readable report). A job once ended, with no
# failure reported, right after the runtime failed to start the symbolizer.
export UBSAN_OPTIONS="$UBSAN_OPTIONS:symbolize=0"
for ((job = 0; job < jobs; ++job)); do
  nohup nice -n 19 "$work/fuzz_$target" -runs=$((runs / jobs)) -seed=$((seed + job)) -timeout=25 -print_funcs=0 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/findings/" \
    "$work/corpus" "fuzz/corpus/$target" >"$work/job-$((seed + job)).log" 2>&1 &
  echo "job $job: process $!, log $work/job-$((seed + job)).log"
done
