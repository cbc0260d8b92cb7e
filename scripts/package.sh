#!/usr/bin/env bash
# Builds the Debian package of the panel (build-package/ksm7720-sfp_VERSION_ARCH.deb) with
# Debian's hardening flags, stripped, without the tests, benchmarks and simulated bench
# tools, and with --install installs it with apt:
#
#   scripts/package.sh [--install]
#
# The package holds what `cmake --install` installs: the programs, the desktop entry, the
# icons, the AppStream metainfo and the manual pages. The simulator and the stand-in
# libraries are not in it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
install=0
case "${1:-}" in
  --install) install=1 ;;
  "") ;;
  *) echo "usage: $0 [--install]" >&2; exit 2 ;;
esac
scripts/install-deps.sh

out="$root/build-package"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSFP_BUILD_TESTS=OFF \
  -DSFP_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$out" -j"$(nproc)"
rm -f "$out"/*.deb
(cd "$out" && cpack -G DEB >/dev/null)
deb=$(ls "$out"/*.deb)
echo "$deb"

if [ "$install" = 1 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y "$deb"
fi
