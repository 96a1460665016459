#!/usr/bin/env bash
# Times `velmora-cli list --all --json` over fifty Steam-sized Wine prefixes beside
# the time of reading their registry files once (the floor: one `cat` of every
# system.reg, user.reg and userdef.reg), and prints the ratio of the medians.
#
# A home folder is laid out as Steam lays it out: fifty games, each with its
# prefix steamapps/compatdata/<appid>/pfx and its appmanifest_<appid>.acf. Each
# prefix is a copy of one that wineboot made, its system.reg grown to about 3 MB
# by keys added in Wine's own format (what a game's installers leave there), and
# one entry in the user's Run key.
#
#   bash bench/systems_ratio.sh [BUILD_DIR]
#
# Environment:
#   VELMORA_CLI       the velmora-cli to time (default BUILD_DIR/bin/velmora-cli)
#   VELMORA_SYSTEMS   how many prefixes (default 50)
#   VELMORA_RUNS      timed runs; the median is printed (default 7)
#   VELMORA_BENCH_TEMPLATE  a folder where the booted prefix is kept between runs
#                     of this script (default: made anew in the work folder)
#   KEEP=1            keeps the work folder
#
# bench/listing_ratio.sh runs this script after its own cases, so that one run
# prints every ratio.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/ratio_common.sh
source "$here/bench/ratio_common.sh"
build=${1:-$here/build}
build=$(cd "$build" && pwd)
cli=${VELMORA_CLI:-$build/bin/velmora-cli}
count=${VELMORA_SYSTEMS:-50}
runs=${VELMORA_RUNS:-7}

[[ -x $cli && -e $(dirname "$cli")/vlmdb.vmd ]] ||
  { echo "missing $cli or its vlmdb.vmd: build velmora-cli and velmora_definitions_database" >&2; exit 1; }
command -v wineboot >/dev/null || { echo "wine is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-systems-XXXXXX")
cleanup() { [[ ${KEEP:-0} == 1 ]] && echo "work folder kept: $work" >&2 || rm -rf "$work"; }
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='

template=${VELMORA_BENCH_TEMPLATE:-$work/template}
if [[ ! -f $template/system.reg ]]; then
  echo "booting a fresh Wine prefix ..." >&2
  mkdir -p "$template"
  WINEPREFIX=$template wineboot --init >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
fi

# The registry of one game's prefix: Wine's files, system.reg grown to 3 MB.
game=$work/game
mkdir -p "$game/drive_c"
cp "$template"/{system.reg,user.reg,userdef.reg} "$game/"
cp -a "$template/dosdevices" "$game/"
awk -v want=$((3 * 1024 * 1024)) -v have="$(stat -c %s "$game/system.reg")" 'BEGIN {
  for (i = 0; have < want; i++) {
    block = sprintf("\n[Software\\\\Wow6432Node\\\\Game Studio\\\\Game %d\\\\Settings] 1733650000\n" \
      "#time=1db4a1b2c3d4e5f\n\"Installed\"=dword:00000001\n\"Name\"=\"Game number %d\"\n" \
      "\"Path\"=\"C:\\\\Program Files (x86)\\\\Steam\\\\steamapps\\\\common\\\\Game %d\"\n" \
      "\"Data\"=hex:%02x,00,de,ad,be,ef,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\n", i, i, i, i % 256)
    printf "%s", block
    have += length(block)
  }
}' >>"$game/system.reg"
cat >>"$game/user.reg" <<'REG'

[Software\\Bench\\Marker] 1733650000
"Here"="1"
REG

home=$work/home
steamapps=$home/.local/share/Steam/steamapps
mkdir -p "$steamapps/compatdata"
for ((i = 0; i < count; i++)); do
  appid=$((200000 + i))
  cp -a "$game" "$steamapps/compatdata/$appid"
  mv "$steamapps/compatdata/$appid" "$steamapps/compatdata/$appid-tmp"
  mkdir "$steamapps/compatdata/$appid"
  mv "$steamapps/compatdata/$appid-tmp" "$steamapps/compatdata/$appid/pfx"
  printf '"AppState"\n{\n\t"appid"\t\t"%s"\n\t"name"\t\t"Game %s"\n}\n' "$appid" "$i" >"$steamapps/appmanifest_$appid.acf"
done
# One entry per prefix, written by velmora-cli itself so the file stays Wine's.
for pfx in "$steamapps"/compatdata/*/pfx; do
  HOME=$home WINEPREFIX=$pfx "$cli" add "CU Run" Launcher 'C:\windows\system32\notepad.exe /tray' >/dev/null
done

# The default prefix is one of them, so that none is made.
export HOME=$home WINEPREFIX=$steamapps/compatdata/200000/pfx
unset XDG_DATA_HOME XDG_CONFIG_HOME
listed=$("$cli" list --all --json | grep -c "\"name\": \"Launcher\"" || true)
((listed == count)) || { echo "list --all listed $listed of $count entries" >&2; exit 1; }
files=("$steamapps"/compatdata/*/pfx/*.reg)
megabytes=$(du -cm "${files[@]}" | tail -1 | cut -f1)

# The listing keeps what the check of each large registry file found (in
# $HOME/.cache, here in the work folder) and uses it while the file is unchanged:
# the runs after the first. A first listing, with nothing kept, is timed as well,
# its cache folder one that cannot be made.
list_times=() floor_times=() first_times=()
for ((r = 0; r < runs; r++)); do
  list_times+=("$(time_ms "$cli" list --all --json)")
  floor_times+=("$(time_ms cat "${files[@]}")")
  first_times+=("$(time_ms env XDG_CACHE_HOME="$work/none/cache" "$cli" list --all --json)")
done
list=$(printf '%s\n' "${list_times[@]}" | median)
floor=$(printf '%s\n' "${floor_times[@]}" | median)
first=$(printf '%s\n' "${first_times[@]}" | median)
echo "a first list --all, nothing kept: $first ms, $(ratio_of "$first" "$floor") times the floor"
printf '%-8s %10s %14s %12s %8s\n' systems "files (MB)" "list --all (ms)" "floor (ms)" ratio
printf '%-8s %10s %14s %12s %8s\n' "$count" "$megabytes" "$list" "$floor" "$(ratio_of "$list" "$floor")"
