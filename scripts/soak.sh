#!/usr/bin/env bash
# Builds the flood-and-fault soak under AddressSanitizer + UndefinedBehavior-
# Sanitizer (folder build-soak) and runs it against the real window,
# offscreen, over loopback only. It prints the delivered rate, the window
# thread's latency, resident memory every second (build-soak/soak-flood-rss.csv),
# descriptors and memory around the start/stop churn, and the result of each
# fault and input class; it fails when a check does not hold.
#
# Usage: scripts/soak.sh [--short | --long]
#   --short (default): 100,000 datagrams, 20 start/stop cycles (a minute or two)
#   --long:            10 million datagrams (at most 20 minutes of flood),
#                      1,000 start/stop cycles
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:---short}" in
  --short) args=(100000 20 20); limit=600 ;;
  --long) args=(10000000 1000 1200); limit=3600 ;;
  *) sed -n '2,13p' "$0"; exit 2 ;;
esac

scripts/install-deps.sh build
build=build-soak
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_SANITIZE=address \
  -DKESTROVA_BUILD_TESTS=OFF -DKESTROVA_BUILD_BENCH=ON -DKESTROVA_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target kestrova_soak

export QT_QPA_PLATFORM=offscreen
# A small quarantine, so resident memory shows the program's own use.
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:quarantine_size_mb=16
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
timeout "$limit" bench/soak/kestrova_soak "${args[@]}"
