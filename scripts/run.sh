#!/usr/bin/env bash
# Builds the program and opens its window.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kestrova -j"$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  echo "No display: start it under a virtual one with  xvfb-run -a scripts/run.sh  (apt-get install xvfb)" >&2
  exit 1
fi
exec build/app/kestrova
