#!/usr/bin/env bash
# Times `velmora-cli list --json` on a real Wine prefix beside the time of reading
# the same files once (the floor): system.reg, user.reg, the database, and the
# command line and name of every process in /proc. Where the window program was
# built, it also times the window's start, from its start until its first frame
# that shows the entry list is drawn (Qt's offscreen platform,
# VELMORA_QUIT_AFTER_FIRST_FRAME: the program writes the time of that frame and
# the rows of its list, and ends), beside the first frame of a minimal Qt Quick
# window on the same renderer (bench/minimal_window.cpp), its floor. The peak
# resident memory of the listing and of the window is measured with GNU time.
#
# The prefix is made by wineboot; the entries are imported into it by Wine's own
# `reg import` (half under the machine's Run key, half under the user's), and one
# in twenty is a shortcut in the user's Startup folder. Three entries in four name
# one of the programs of C:\windows\system32 (several entries share a program), the
# fourth names a file that does not exist. The database holds 50,000 definitions
# and 50 name patterns; the 13-entry case, a typical prefix, uses the shipped one.
#
#   bash bench/listing_ratio.sh [BUILD_DIR]
#
# Environment:
#   VELMORA_CLI     the velmora-cli to time (default BUILD_DIR/bin/velmora-cli)
#   VELMORA_COUNTS  entry counts to run (default "0 13 250 500 1000 2000"; 0 is a
#                   prefix of Wine's defaults)
#   VELMORA_SYSTEMS prefixes of the `list --all` case, run by bench/systems_ratio.sh
#                   after the others (default 50; 0 leaves the case out)
#   VELMORA_RUNS    timed runs per case; the median is printed (default 7)
#   VELMORA_BENCH_TEMPLATE  a folder where the freshly booted prefix is kept between
#                   runs of this script (default: made anew in the work folder)
#   KEEP=1          keeps the work folder
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/ratio_common.sh
source "$here/bench/ratio_common.sh"
build=${1:-$here/build}
build=$(cd "$build" && pwd)
cli=${VELMORA_CLI:-$build/bin/velmora-cli}
pack=$build/bin/vlmdb-pack
shipped_db=$build/bin/vlmdb.vmd
counts=${VELMORA_COUNTS:-"0 13 250 500 1000 2000"}
runs=${VELMORA_RUNS:-7}

for tool in "$cli" "$pack" "$shipped_db"; do
  [[ -e $tool ]] || { echo "missing $tool: build velmora-cli and velmora_definitions_database first" >&2; exit 1; }
done
command -v wine >/dev/null && command -v wineserver >/dev/null || { echo "wine is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-ratio-XXXXXX")
cleanup() {
  for p in "$work"/prefix-*; do [[ -d $p ]] && WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; done
  [[ ${KEEP:-0} == 1 ]] && echo "work folder kept: $work" || rm -rf "$work"
}
trap cleanup EXIT
# A lock folder of our own: a Velmora started elsewhere must not refuse the runs.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# What the listing keeps of the registry files' checks stays in the work folder.
export XDG_CACHE_HOME=$work/cache
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='

# ---- the prefix, as wineboot makes it ----------------------------------------
template=${VELMORA_BENCH_TEMPLATE:-$work/template}
if [[ ! -f $template/system.reg ]]; then
  echo "booting a fresh Wine prefix ..." >&2
  mkdir -p "$template"
  WINEPREFIX=$template wineboot --init >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  # Windows XP (the 64-bit one on a 64-bit prefix): the system Velmora edits.
  WINEPREFIX=$template wine winecfg -v winxp64 >/dev/null 2>&1 || WINEPREFIX=$template wine winecfg -v winxp >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
fi
system32=$template/drive_c/windows/system32
mapfile -t programs < <(cd "$system32" && ls -- *.exe | sort)
((${#programs[@]} > 0)) || { echo "no programs in $system32" >&2; exit 1; }

# ---- program folders: the CLI with the large and with the shipped database ---
large=$work/program-large
small=$work/program-small
mkdir -p "$large" "$small"
cp "$cli" "$large/velmora-cli"
cp "$cli" "$small/velmora-cli"
cp "$shipped_db" "$small/vlmdb.vmd"
# The window program needs its whole program folder (movies, language files).
window=
if [[ -x $build/bin/Velmora ]]; then
  window=$work/program-window
  cp -a "$build/bin/." "$window/"
fi
{
  echo "@version 07/12/2026"
  for p in "${programs[@]}"; do echo "SYS | $p | A program of the system."; done
  codes=(NORM SYS SPY AD VIR MAC WOR TROJ KEY HIJ DIAL)
  for ((i = 0; i < 50000 - ${#programs[@]}; i++)); do
    echo "${codes[i % 11]} | program$i.exe | Description of definition number $i."
  done
  for ((i = 0; i < 49; i++)); do echo "SPC | pattern$i | NORM | NULL"; done
  echo "SPC | vendor | AD | NULL"
} >"$work/definitions.txt"
"$pack" pack "$work/definitions.txt" "$large/vlmdb.vmd" >/dev/null
if [[ -n $window ]]; then cp "$large/vlmdb.vmd" "$window/vlmdb.vmd"; fi

# ---- one prefix per count ----------------------------------------------------
# Shortcuts made once by velmora-cli itself, then copied into each prefix.
pool=$work/shortcut-pool
startup_rel=
make_shortcuts() {
  local want=$1
  [[ -d $pool ]] && (($(ls "$pool" | wc -l) >= want)) && return
  rm -rf "$work/pool-prefix" && cp -a "$template" "$work/pool-prefix"
  local i
  for ((i = 0; i < want; i++)); do
    WINEPREFIX=$work/pool-prefix "$small/velmora-cli" add "CU Startup Folder" "Tray $i" \
      "C:\\windows\\system32\\${programs[i % ${#programs[@]}]} /tray" >/dev/null
  done
  rm -rf "$pool" && mkdir -p "$pool"
  local first
  first=$(find "$work/pool-prefix/drive_c" -name '*.lnk' -print -quit)
  startup_rel=$(dirname "${first#"$work/pool-prefix/"}")
  cp "$work/pool-prefix/$startup_rel"/*.lnk "$pool/"
}

make_prefix() {
  local n=$1 prefix=$2
  local links=$((n / 20)) values
  values=$((n - links))
  cp -a "$template" "$prefix"
  local reg=$prefix/entries.reg i command
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    for hive in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
      printf '[%s\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n' "$hive"
      for ((i = 0; i < values; i++)); do
        [[ $hive == HKEY_LOCAL_MACHINE ]] && ((i % 2)) && continue
        [[ $hive == HKEY_CURRENT_USER ]] && ((i % 2 == 0)) && continue
        if ((i % 4 == 3)); then
          command="\\\"C:\\\\Program Files\\\\Vendor $i\\\\app$i.exe\\\" -startup"
        else
          command="C:\\\\windows\\\\system32\\\\${programs[i % ${#programs[@]}]} /run$i"
        fi
        printf '"Entry %05d"="%s"\r\n' "$i" "$command"
      done
      printf '\r\n'
    done
  } >"$reg"
  # No entries: the prefix as wineboot left it.
  if ((n > 0)); then
    WINEPREFIX=$prefix wine reg import 'Z:'"${reg//\//\\}" >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w
  fi
  rm -f "$reg"
  if ((links > 0)); then
    mkdir -p "$prefix/$startup_rel"
    ls "$pool" | head -n "$links" | while read -r link; do cp "$pool/$link" "$prefix/$startup_rel/"; done
  fi
}

read_floor() {
  local prefix=$1 db=$2
  cat "$prefix/system.reg" "$prefix/user.reg" "$db" /proc/[0-9]*/cmdline /proc/[0-9]*/comm >/dev/null 2>&1 || true
}

most=0
for n in $counts; do ((n / 20 > most)) && most=$((n / 20)); done
((most > 0)) && make_shortcuts "$most"

# The first frame of a window program, from its start (60 s at most): "MS ROWS",
# ROWS the entries its list held when that frame was drawn ("-" for a program
# without a list).
first_frame() {
  local start line
  start=$EPOCHREALTIME
  line=$(QT_QPA_PLATFORM=offscreen VELMORA_QUIT_AFTER_FIRST_FRAME=1 timeout 60 "$@" 2>&1 >/dev/null |
    sed -n 's/^first frame at //p') || true # the window program ends with a status of its own
  [[ -n $line ]] || { echo "$1 drew no frame" >&2; exit 1; }
  set -- $line
  awk -v a="$start" -v b="$1" -v rows="${3:--}" 'BEGIN { printf "%.2f %s\n", (b - a) * 1000, rows }'
}

# Peak resident memory of "$@", in MB: the median of three runs, as the heap's
# large pages make it vary from run to run ("-" without GNU time).
peak_mb() {
  [[ -x /usr/bin/time ]] || { echo -; return; }
  local k
  for k in 1 2 3; do
    /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>&1 || true
    awk 'END { printf "%.1f\n", $1 / 1024 }' "$work/peak"
  done | median
}

minimal=$build/bench/velmora_minimal_window
[[ -n $window && ! -x $minimal ]] && { echo "missing $minimal: build velmora_minimal_window" >&2; exit 1; }

# Columns: the listing against the floor, with its peak memory; the window's first
# frame with the list filled against the first frame of the minimal Qt Quick
# window (bench/minimal_window.cpp), timed in turn in the same runs, and the
# window's peak memory.
printf '%-8s %10s %10s %8s %8s %8s %11s %11s %8s %8s\n' entries "list ms" "floor ms" ratio listed "list MB" \
  "window ms" "minimal ms" win/min "win MB"
declare -A list_at ratio_at window_at
list_mb_at_1000=-
window_mb_at_1000=-
for n in $counts; do
  prefix=$work/prefix-$n
  make_prefix "$n" "$prefix"
  program=$large
  ((n < 100)) && program=$small
  export WINEPREFIX=$prefix
  listed=$("$program/velmora-cli" list --json | grep -c '"location"' || true)
  list_times=() floor_times=() window_times=() minimal_times=()
  # The window with the large database only, the case it is measured on.
  with_window=
  [[ -n $window && $program == "$large" ]] && with_window=1
  for ((r = 0; r < runs; r++)); do
    list_times+=("$(time_ms "$program/velmora-cli" list --json)")
    floor_times+=("$(time_ms read_floor "$prefix" "$program/vlmdb.vmd")")
    if [[ -n $with_window ]]; then
      read -r shown rows < <(first_frame "$window/Velmora")
      [[ $rows == "$listed" ]] || { echo "the window's first frame showed $rows of $listed entries" >&2; exit 1; }
      window_times+=("$shown")
      read -r shown rows < <(first_frame "$minimal")
      minimal_times+=("$shown")
    fi
  done
  list=$(printf '%s\n' "${list_times[@]}" | median)
  list_at[$n]=$list
  floor=$(printf '%s\n' "${floor_times[@]}" | median)
  ratio=$(ratio_of "$list" "$floor")
  list_mb=$(peak_mb "$program/velmora-cli" list --json)
  ratio_at[$n]=$ratio
  ((n == 1000)) && list_mb_at_1000=$list_mb
  shown=- least=- window_ratio=- window_mb=-
  if [[ -n $with_window ]]; then
    shown=$(printf '%s\n' "${window_times[@]}" | median)
    least=$(printf '%s\n' "${minimal_times[@]}" | median)
    window_ratio=$(ratio_of "$shown" "$least")
    window_at[$n]=$window_ratio
    window_mb=$(QT_QPA_PLATFORM=offscreen VELMORA_QUIT_AFTER_FIRST_FRAME=1 peak_mb timeout 60 "$window/Velmora")
    ((n == 1000)) && window_mb_at_1000=$window_mb
  fi
  printf '%-8s %10s %10s %8s %8s %8s %11s %11s %8s %8s\n' "$n" "$list" "$floor" "$ratio" "$listed" "$list_mb" \
    "$shown" "$least" "$window_ratio" "$window_mb"
  unset WINEPREFIX
  [[ ${KEEP:-0} == 1 ]] || rm -rf "$prefix"
done
growth=-
if [[ -n ${list_at[1000]:-} && -n ${list_at[2000]:-} ]]; then
  growth=$(ratio_of "${list_at[2000]}" "${list_at[1000]}")
fi

# ---- every prefix at once ------------------------------------------------------
# `velmora-cli list --all` over many Steam-sized prefixes against `cat` of their
# registry files: bench/systems_ratio.sh, with the same prefix template.
systems=${VELMORA_SYSTEMS:-50}
all_ratio=-
if ((systems > 0)); then
  all_out=$(VELMORA_CLI=$cli VELMORA_SYSTEMS=$systems VELMORA_RUNS=$runs VELMORA_BENCH_TEMPLATE=$template \
    bash "$here/bench/systems_ratio.sh" "$build")
  echo "$all_out"
  all_ratio=$(tail -1 <<<"$all_out" | awk '{ print $NF }')
fi

# ---- every ratio side by side ----------------------------------------------------
echo
echo "ratio                                         measured   aim"
printf '%-45s %8s   %s\n' "listing / floor, prefix of Wine's defaults" "${ratio_at[0]:--}" "<= 1.5"
printf '%-45s %8s   %s\n' "listing / floor, 1000 entries" "${ratio_at[1000]:--}" "<= 2"
printf '%-45s %8s   %s\n' "listing / floor, 2000 entries" "${ratio_at[2000]:--}" "<= 2"
printf '%-45s %8s   %s\n' "listing 2000 / listing 1000 entries" "$growth" "<= 1.5"
printf '%-45s %8s   %s\n' "window / minimal window, 1000 entries" "${window_at[1000]:--}" "<= 1.25"
printf '%-45s %8s   %s\n' "list --all / cat, $systems prefixes" "$all_ratio" "<= 2"
printf '%-45s %8s\n' "peak memory of the listing at 1000 (MB)" "$list_mb_at_1000"
printf '%-45s %8s\n' "peak memory of the window at 1000 (MB)" "$window_mb_at_1000"
