#!/usr/bin/env bash
# Builds the Debian package of the program (build/kestrova_<version>_<arch>.deb)
# with CPack from the normal build folder.
#
# Usage: scripts/package.sh [--test]
#   --test: then unpacks the package into a temporary root (dpkg -x), checks
#           its files and dependencies, and starts the installed program
#           offscreen; it must still be running after 3 s (it takes no
#           command line and runs until its window is closed).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build
dpkg-query -W -f='${Status}' dpkg-dev 2>/dev/null | grep -q "install ok installed" || {
  echo "Installing from Debian's packages: dpkg-dev"  # dpkg-shlibdeps finds the dependencies
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q dpkg-dev
}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kestrova
rm -f build/kestrova_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/kestrova_*.deb)
echo "built $deb"
[ "${1:-}" = --test ] || exit 0

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
fail() { echo "package test: $*" >&2; exit 1; }
for f in usr/bin/kestrova usr/share/applications/kestrova.desktop \
         usr/share/icons/hicolor/scalable/apps/kestrova.svg; do
  [ -s "$root/$f" ] || fail "$f is missing"
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6gui6 libqt6core6 fonts-wqy-microhei; do
  grep -qw "$p" <<<"$depends" || fail "Depends lacks $p: $depends"
done
grep -qx 'Name=Kestrova' "$root/usr/share/applications/kestrova.desktop" || fail "desktop entry lacks Name=Kestrova"
grep -qx 'Exec=kestrova' "$root/usr/share/applications/kestrova.desktop" || fail "desktop entry does not start kestrova"

# The installed program opens its window and keeps running: timeout ends it
# with 124; any other status is a crash or an early exit.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/kestrova" >"$root/run.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$root/run.log" >&2; fail "the installed program ended with status $status"; }
echo "package test: $(basename "$deb") installs, depends on $depends; the program runs"
