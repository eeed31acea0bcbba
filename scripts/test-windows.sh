#!/usr/bin/env bash
# Cross-builds the engine, the codecs and their tests for 64-bit Windows with
# mingw-w64 (the window is not part of this build) and runs every test under
# Wine in a fresh prefix. Any build error or failed test fails the command.
#
# Usage: scripts/test-windows.sh [build folder]   (default: build-windows)
# Installs what it needs from Debian's packages when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=${1:-build-windows}
mkdir -p "$out"
out=$(cd "$out" && pwd)

packages=(cmake make g++-mingw-w64-x86-64-posix wine wine64 googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing from Debian's packages: ${missing[*]}"
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

step() { printf '\n--- %s (%ds)\n' "$*" "$SECONDS"; }
SECONDS=0

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
toolchain=$src/cmake/mingw-w64.cmake

# A fresh Wine prefix for every run, so nothing left by an earlier run (or by
# the user's own ~/.wine) can change the result. Creating it takes a few
# seconds; it happens in the background while the cross build runs.
export WINEPREFIX=$out/wine-prefix
export WINEDEBUG=-all
export WINEARCH=win64
# Keep Wine from offering to install Mono and Gecko: the tests need neither.
export WINEDLLOVERRIDES="mscoree=;mshtml="
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# One wineserver for the whole run: without it every test process would
# start (and wait for) its own, which costs seconds per test.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >"$out/wineboot.log" 2>&1 &
wineboot_pid=$!

# Test discovery and ctest run every .exe through this wrapper.
runner=$out/wine-run
cat >"$runner" <<EOF
#!/bin/sh
export WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES='mscoree=;mshtml='
exec wine "\$@"
EOF
chmod +x "$runner"

step "GoogleTest for Windows"
# GoogleTest for Windows, built from the sources Debian's googletest package
# installs, into this build folder.
cmake -S /usr/src/googletest -B "$out/googletest-build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$out/googletest" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON >/dev/null
cmake --build "$out/googletest-build" -j"$jobs" >/dev/null
cmake --install "$out/googletest-build" >/dev/null

step "cross build"
# Tests are listed when ctest runs (PRE_TEST), not at build time, so the build
# does not wait for the Wine prefix.
cmake -S "$src" -B "$out/kestrova" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$out/googletest" -DKESTROVA_WINE_RUNNER="$runner" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST \
  -DKESTROVA_BUILD_UI=OFF -DKESTROVA_BUILD_BENCH=OFF -DKESTROVA_WERROR=ON >/dev/null
cmake --build "$out/kestrova" -j"$jobs"

if ! wait "$wineboot_pid"; then
  cat "$out/wineboot.log" >&2
  echo "Creating the Wine prefix failed" >&2
  exit 1
fi
step "tests under Wine"
ctest --test-dir "$out/kestrova" --output-on-failure -j"$jobs"
step "done"
