#!/usr/bin/env bash
# Builds Velmora and runs it on the default Wine prefix (or $WINEPREFIX).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null
if [[ -x "$build/bin/Velmora" && -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec "$build/bin/Velmora" "$@"
fi
exec "$build/bin/velmora-cli" list "$@"
