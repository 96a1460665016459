#!/usr/bin/env bash
# Checks an installed Velmora without changing the machine: installs the build
# into a staging folder (DESTDIR), validates each installed file with the tools
# of its format, uses the staged programs on a Wine prefix with a program folder
# the user may not write (as under /usr), then makes the Debian package with
# cpack and checks its control data, its contents and the programs it holds.
# Everything happens in a temporary folder, removed at the end.
#
#   scripts/check-install.sh BUILD_DIR
set -uo pipefail
# Checks are written "test && pass ... || fail ...": pass never fails.
# shellcheck disable=SC2015
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
app_id=com.orlinsk.Velmora
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-install-XXXXXX")
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
status=0

cleanup() {
  if [[ -d $work/prefix ]]; then WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1; fi
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  status=1
}
pass() { echo "ok: $*"; }
# expect DESCRIPTION COMMAND...: the command must succeed.
expect() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# The files below a folder, one relative path a line, sorted.
files_below() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }

echo "== staging: cmake --install $build --prefix /usr (DESTDIR)"
DESTDIR=$work/stage cmake --install "$build" --prefix /usr --strip >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; exit 1; }
usr=$work/stage/usr
program=$usr/lib/velmora

# The program folder as the build lays it out, without the packer (a tool for
# the database's authors) and what the programs write at run time.
files_below "$build/bin" | grep -v -e '^vlmdb-pack$' -e '^vlmdb2\.vmd$' -e '^vlmdb\.vmd\.bak$' >"$work/built"
files_below "$program" >"$work/staged-program"
if diff "$work/built" "$work/staged-program" >"$work/diff"; then
  pass "the program folder holds what the build's does ($(wc -l <"$work/built") files)"
else
  fail "the installed program folder differs from the build's:"
  cat "$work/diff" >&2
fi
for link in velmora:Velmora velmora-cli:velmora-cli; do
  name=${link%%:*} target=${link#*:}
  [[ -L $usr/bin/$name && $(readlink -f "$usr/bin/$name") == "$(readlink -f "$program/$target")" ]] &&
    pass "bin/$name starts lib/velmora/$target" || fail "bin/$name is not a link to lib/velmora/$target"
done

expect "desktop entry (desktop-file-validate)" \
  desktop-file-validate "$usr/share/applications/$app_id.desktop"
expect "AppStream metadata (appstreamcli validate --no-net)" \
  appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml"
grep -q "<release version=\"$version\"" "$usr/share/metainfo/$app_id.metainfo.xml" &&
  pass "the release notes name version $version" || fail "no release $version in the metadata"
for shot in $(sed -n 's|.*<image[^>]*>.*/\([^/<]*\)</image>.*|\1|p' "$usr/share/metainfo/$app_id.metainfo.xml"); do
  [[ $(head -c 8 "$source_dir/share/linux/screenshots/$shot" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] &&
    pass "screenshot $shot is a PNG in share/linux/screenshots" || fail "screenshot $shot is missing"
done

# Each icon a PNG of the size its folder names.
for dir in "$usr"/share/icons/hicolor/*x*; do
  size=${dir##*/}
  icon=$dir/apps/$app_id.png
  dims=$(od -An -j16 -N8 -tu1 "$icon" 2>/dev/null | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }')
  [[ $dims == "$size" ]] && pass "icon $size" || fail "icon $icon is ${dims:-missing}, not $size"
done
[[ $(ls -d "$usr"/share/icons/hicolor/*x* | wc -l) -ge 5 ]] || fail "fewer than five icon sizes"

for page in velmora velmora-cli; do
  file=$usr/share/man/man1/$page.1.gz
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [[ -f $file && -z $warnings ]] && pass "manual page $page (man --warnings)" ||
    fail "manual page $page: ${warnings:-missing}"
  zcat "$file" | grep -q '/usr/lib/velmora' || fail "manual page $page does not name /usr/lib/velmora"
done

completion=$usr/share/bash-completion/completions/velmora-cli
expect "bash completion parses" bash -n "$completion"

for name in velmora velmora-cli; do
  out=$("$usr/bin/$name" --version 2>&1)
  [[ $out == *" $version" ]] && pass "$name --version: $out" || fail "$name --version printed: $out"
done

echo "== the staged programs on a Wine prefix made by wineboot, program folder read-only"
prefix=$work/prefix
export WINEPREFIX=$prefix HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
if ! { wineboot --init >/dev/null 2>&1 &&
  wine reg add "$run_key" /v 'Tray Helper' /d 'C:\Tools\tray.exe /min' /f >/dev/null 2>&1 &&
  wine reg add 'HKCU\Software\Orlinsk\Velmora' /v StartWithWindows /t REG_BINARY /d 01000000 /f >/dev/null 2>&1 &&
  wineserver -w; }; then
  fail "wineboot could not make a prefix"
  exit 1
fi
chmod -R a-w "$program"
snapshot() { (cd "$program" && find . -printf '%p %s %T@ %m\n' | LC_ALL=C sort); }
snapshot >"$work/program-before"

cli=$usr/bin/velmora-cli
out=$("$cli" list --csv 2>&1)
[[ $? -eq 0 && $out == *',Tray Helper,'* ]] &&
  pass "velmora-cli list on the prefix" || fail "velmora-cli list: $out"
# A listing leaves the working copy where it is: a window may be reading it.
[[ -f $XDG_DATA_HOME/velmora/vlmdb2.vmd ]] &&
  pass "the working copy went to the user's data folder" ||
  fail "the user's data folder: $(ls -la "$XDG_DATA_HOME/velmora" 2>&1)"

# An update of the database installs for this user alone.
"$build/bin/vlmdb-pack" pack "$source_dir/data/definitions.txt" "$work/new.vmd" --version 31/12/2099 >/dev/null
if out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program/858068658469/Update.exe" "$work/new.vmd" </dev/null 2>&1) &&
  cmp -s "$work/new.vmd" "$XDG_DATA_HOME/velmora/vlmdb.vmd" &&
  cmp -s "$program/vlmdb.vmd" "$XDG_DATA_HOME/velmora/vlmdb.vmd.bak"; then
  pass "Update.exe installed the database into the user's data folder, the old one as backup"
else
  fail "Update.exe: $out"
fi
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program/858068658469/Update.exe" </dev/null 2>&1)
[[ $out == *"Installed: version 31/12/2099"* ]] && pass "the user's newer database is the one in use" ||
  fail "the database in use after the update: $out"

# "seen" starts fully: the settings' Start with Windows writes the program's own
# Run value, which must name the installed window program.
"$cli" seen >/dev/null 2>&1 || fail "velmora-cli seen"
out=$("$cli" list --csv 2>&1)
windows_program=$(printf 'Z:%s' "$program/Velmora" | tr / '\\')
[[ $out == *",CU Run,Velmora,true,$windows_program,"* ]] &&
  pass "the Run value of Start with Windows names $windows_program" ||
  fail "no Run value naming $windows_program in: $out"

# The window starts from the installed folder and draws its first frame.
out=$(QT_QPA_PLATFORM=offscreen VELMORA_QUIT_AFTER_FIRST_FRAME=1 timeout 120 "$usr/bin/velmora" 2>&1)
[[ $out == *"first frame at"* ]] && pass "the installed window program shows its window" ||
  fail "the installed window program: $out"

# Completion: entry names of the location on the line, and profile names.
"$cli" profile save 'Work Day' >/dev/null 2>&1 || fail "velmora-cli profile save"
complete_line() {
  # shellcheck disable=SC1090
  PATH=$usr/bin:$PATH bash -c '
    source /usr/share/bash-completion/bash_completion 2>/dev/null
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _velmora_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
out=$(complete_line velmora-cli disable '"CU Run"' T)
[[ $out == 'Tray\ Helper' ]] && pass "completion: entry names of \"CU Run\"" || fail "completion of names: $out"
out=$(complete_line velmora-cli enable 3 '')
[[ $out == *'Tray\ Helper'* && $out == *Velmora* ]] && pass "completion: entry names of location 3" ||
  fail "completion of location 3: $out"
out=$(complete_line velmora-cli profile load W)
[[ $out == 'Work\ Day' ]] && pass "completion: profile names" || fail "completion of profiles: $out"
out=$(complete_line velmora-cli disable 'LM R')
[[ $out == *'LM\ Run'* && $out == *'LM\ RunOnce\ \(32-bit\)'* ]] && pass "completion: location tags" ||
  fail "completion of tags: $out"

snapshot >"$work/program-after"
diff -q "$work/program-before" "$work/program-after" >/dev/null &&
  pass "nothing in the program folder changed" || fail "the program folder changed"
chmod -R u+w "$program"

echo "== the Debian package: cpack -G DEB"
if ! (cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB"
  exit 1
fi
deb=$(ls "$work"/package/velmora_"$version"_*.deb 2>/dev/null | head -n 1)
[[ -f $deb ]] && pass "made ${deb##*/}" || { fail "no velmora_${version}_*.deb"; exit 1; }
field() { dpkg-deb --field "$deb" "$1"; }
depends=$(field Depends)
[[ $(field Package) == velmora && $(field Version) == "$version" ]] || fail "package name or version"
for needed in libc6 libstdc++6 libhivex0 libqt6core6 libqt6quick6 qml6-module-qtquick; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
[[ $(field Recommends) == *wine* ]] && pass "Depends: $depends; Recommends: $(field Recommends)" ||
  fail "Wine is not recommended"
dpkg-deb --contents "$deb" | awk '{ print $6 }' | grep -v '/$' | sed -n 's|^\./usr/||p' | LC_ALL=C sort >"$work/deb-files"
files_below "$usr" >"$work/staged-files"
diff "$work/staged-files" "$work/deb-files" >"$work/diff" && pass "the package holds what the staged install does" ||
  { fail "the package's files differ from the staged install:"; cat "$work/diff" >&2; }
if command -v apt-get >/dev/null; then
  apt-get install --simulate -q "$deb" >"$work/apt.log" 2>&1 && pass "apt-get can install it (simulated)" ||
    { cat "$work/apt.log" >&2; fail "apt-get install --simulate"; }
fi
dpkg-deb --extract "$deb" "$work/root"
out=$("$work/root/usr/bin/velmora-cli" list 2>&1)
[[ $? -eq 0 && $out == *"Tray Helper"* ]] && pass "the packaged velmora-cli lists the prefix" ||
  fail "the packaged velmora-cli: $out"

exit $status
