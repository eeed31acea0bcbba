#!/usr/bin/env bash
# Builds everything and passes every test: the normal build with the window
# (warnings as errors), then the engine, codecs and callback tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the engine and callback
# tests under ThreadSanitizer, each in its own build folder. Any failure or
# sanitizer report fails the command.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

step() { printf '\n=== %s\n' "$*"; }

step "build (warnings as errors)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON >/dev/null
cmake --build build -j"$jobs"

step "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_SANITIZE=address \
  -DKESTROVA_BUILD_UI=OFF -DKESTROVA_BUILD_BENCH=OFF -DKESTROVA_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

step "ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_SANITIZE=thread \
  -DKESTROVA_BUILD_UI=OFF -DKESTROVA_BUILD_BENCH=OFF -DKESTROVA_WERROR=ON >/dev/null
cmake --build build-tsan -j"$jobs"
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L 'engine|traffic'

step "fuzz targets, 15 s each (ASan + UBSan)"; scripts/fuzz.sh --short

step "flood-and-fault soak of the window, short (ASan + UBSan)"; scripts/soak.sh --short

step "Windows: cross build, tests under Wine" && scripts/test-windows.sh build-windows

step "Debian package: build, unpack with dpkg -x, start the installed program offscreen"; scripts/package.sh --test

# Last, so the run closes on the summary of every test of the normal build.
step "all tests"
ctest --test-dir build --output-on-failure -j"$jobs"

