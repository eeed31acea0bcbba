#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/install-deps.sh [build|test]
#   build: what building and running the window needs
#   test:  that, plus what the test command runs (sanitizers, fuzzers, Windows)
set -euo pipefail

what=${1:-build}

packages=(cmake g++ make libgtest-dev libgmock-dev qt6-base-dev fonts-wqy-microhei)
if [ "$what" = test ]; then
  packages+=(xvfb xauth)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing from Debian's packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo apt-get update -q && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
  else
    echo "Not root and no sudo: install these packages first: ${missing[*]}" >&2
    exit 1
  fi
else
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
