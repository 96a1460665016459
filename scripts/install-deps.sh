#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests and the program need and
# this machine does not have yet. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64
  qt6-base-dev qt6-declarative-dev qml6-module-qtquick qml6-module-qtquick-controls
  qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtqml-workerscript
  qml6-module-qtquick-templates libgl-dev
  fp-utils xvfb xauth
  xchm xterm
  libhivex-dev libregf-utils
  libsqlite3-dev libyaml-dev nlohmann-json3-dev
  desktop-file-utils appstream man-db groff-base bash-completion dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
