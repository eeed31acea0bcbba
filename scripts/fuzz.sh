#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer under AddressSanitizer +
# UndefinedBehaviorSanitizer (folder build-fuzz) and runs each one, starting
# from its seeds in tests/fuzz_corpus/<target>/. A property that does not hold,
# a crash or a sanitizer report stops the target; its input is kept in
# build-fuzz/artifacts/ and the command fails.
#
# Usage: scripts/fuzz.sh [--short | --long] [target...]
#   --short (default): 15 s a target, about two and a half minutes in all
#   --long:            10 million executions a target (at most an hour each, or
#                      KESTROVA_FUZZ_SECONDS seconds),
#                      going on from the corpus the last run left in build-fuzz
#   target:            one or more of the names below (without fuzz_)
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(hex_text_to_bytes decimal_list_to_bytes split_text fold_full_width text_to_integer
         text_to_number position_of payload_renderings on_datagram)

mode=short
chosen=()
for arg in "$@"; do
  case "$arg" in
    --short) mode=short ;;
    --long) mode=long ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) chosen+=("$arg") ;;
  esac
done
[ ${#chosen[@]} -gt 0 ] && targets=("${chosen[@]}")

# clang and its runtime libraries (libFuzzer, the sanitizers) from Debian.
missing=()
for p in cmake make clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing from Debian's packages: ${missing[*]}"
  sudo_=""; [ "$(id -u)" -ne 0 ] && sudo_=sudo
  $sudo_ apt-get update -q && DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -q "${missing[@]}"
fi

build=build-fuzz
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_FUZZ=ON \
  -DKESTROVA_BUILD_UI=OFF -DKESTROVA_BUILD_TESTS=OFF -DKESTROVA_BUILD_BENCH=OFF \
  -DKESTROVA_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

mkdir -p "$build/artifacts"
summary=()
failed=0
for t in "${targets[@]}"; do
  # What the target finds goes to its own corpus folder in the build, so the
  # checked-in seeds stay as they are and a long run can go on from the last.
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  # The short run tries longer texts; the long one keeps them shorter, which
  # buys many more executions of the same rules. The datagram callback always
  # gets room for a full receive buffer and its header.
  if [ "$mode" = long ]; then
    limits=(-runs=10000000 -max_total_time="${KESTROVA_FUZZ_SECONDS:-3600}")
    max_len=256
  else
    limits=(-max_total_time=15)
    max_len=1024
  fi
  [ "$t" = on_datagram ] && max_len=8300
  log="$build/$t.log"
  printf '=== fuzz_%s (%s)\n' "$t" "$mode"
  if "$build/fuzz/fuzz_$t" "${limits[@]}" -max_len=$max_len -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$t-" "$corpus" "tests/fuzz_corpus/$t" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    failed=1
    tail -n 40 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  secs=$(sed -n 's/.*Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  summary+=("$(printf '%-24s %-7s %12s executions %6s s' "$t" "$result" "${runs:-?}" "${secs:-?}")")
done

printf '\n'; printf '%s\n' "${summary[@]}"
exit $failed
