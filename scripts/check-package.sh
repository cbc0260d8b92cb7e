#!/usr/bin/env bash
# Checks what scripts/package.sh produced: the desktop entry and the AppStream metainfo
# validate, lintian finds nothing to warn about, and (as root) the package installs with
# apt, puts its files in place, answers --version, and purges without a trace.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-package"
deb=$(ls "$out"/*.deb)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dpkg-deb -x "$deb" "$stage"

desktop-file-validate "$stage"/usr/share/applications/*.desktop
appstreamcli validate --no-net --pedantic "$stage"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error,warning "$deb"
echo "check-package.sh: desktop entry, metainfo and lintian clean"

[ "$(id -u)" -eq 0 ] || { echo "check-package.sh: not root, install not tried"; exit 0; }
package=$(dpkg-deb -f "$deb" Package)
if dpkg-query -W "$package" >/dev/null 2>&1; then
  echo "check-package.sh: $package is already installed here, install not tried"
  exit 0
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
for f in /usr/bin/ksm7720-sfp /usr/share/man/man1/ksm7720-sfp.1.gz \
         /usr/share/applications/org.ksm7720.sfp.desktop \
         /usr/share/icons/hicolor/48x48/apps/ksm7720-sfp.png; do
  [ -e "$f" ] || { echo "check-package.sh: $f not installed" >&2; exit 1; }
done
env -u DISPLAY -u WAYLAND_DISPLAY ksm7720-sfp --version
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" >/dev/null
if dpkg-query -W "$package" >/dev/null 2>&1 || [ -e /usr/bin/ksm7720-sfp ]; then
  echo "check-package.sh: $package did not remove cleanly" >&2
  exit 1
fi
echo "check-package.sh: installed and purged cleanly"
