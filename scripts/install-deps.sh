#!/usr/bin/env bash
# Installs the Debian 12 packages Tessaview needs to build, test, fuzz and show its examples
# (geomview only for its sample 4D files, which the importer tests read).
# Does nothing when they are all present already; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  freeglut3-dev libglu1-mesa-dev libgl-dev libgtest-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils imagemagick python3
  clang libclang-rt-14-dev llvm strace
  geomview
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
