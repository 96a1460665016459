#!/usr/bin/env bash
# Runs a Windows program under Wine in a fresh prefix of its own, removed again
# afterwards; the exit status is the program's.
#
#   scripts/wine-run.sh TEMPLATE_DIR PROGRAM.exe [ARGUMENTS...]
#
# TEMPLATE_DIR holds a prefix made once by wineboot (made here when missing);
# each run copies it, which is much faster than booting a new one.
set -uo pipefail
template=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [[ ! -f $template/system.reg ]]; then
  mkdir -p "$(dirname "$template")"
  (
    flock 9
    if [[ ! -f $template/system.reg ]]; then
      rm -rf "$template.new"
      WINEPREFIX=$template.new wineboot --init >/dev/null 2>&1 && WINEPREFIX=$template.new wineserver -w
      mv "$template.new" "$template"
    fi
  ) 9>"$template.lock"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine-XXXXXX")
# The system's libraries (most of the prefix's size) are linked, never written;
# every other file is a copy of its own.
cp -a --link "$template" "$work/prefix" 2>/dev/null || { rm -rf "$work/prefix"; cp -a "$template" "$work/prefix"; }
while IFS= read -r -d '' file; do
  cp -p "$file" "$file.copy" && mv -f "$file.copy" "$file"
done < <(find "$work/prefix" -type f -not -path '*/system32/*' -not -path '*/syswow64/*' -not -path '*/winsxs/*' -print0)
export WINEPREFIX=$work/prefix
wine "$@"
status=$?
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
rm -rf "$work"
exit $status
