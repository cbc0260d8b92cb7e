#!/usr/bin/env bash
# Compares the Debian packages of two builds (two scripts/package.sh --out folders) byte for
# byte. Where two packages of one name differ, says how: the control fields, then each file
# of the control and data archives whose content, mode, owner or time differs, or that only
# one has. Exit status 0 when every package is the same, 1 when one differs or is missing.
#
#   scripts/compare-packages.sh DIR-A DIR-B
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: scripts/compare-packages.sh DIR-A DIR-B" >&2; exit 2; }
a=$1 b=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line per member of a package's archive: type, mode, owner, size, time, name.
listing() { # DEB control|data
  if [ "$2" = control ]; then dpkg-deb --ctrl-tarfile "$1"; else dpkg-deb --fsys-tarfile "$1"; fi |
    tar -tvf - --full-time --numeric-owner | sort -k6
}

status=0 count=0
for deb in "$a"/*.deb; do
  name=$(basename "$deb")
  count=$((count + 1))
  if [ ! -e "$b/$name" ]; then
    echo "$name: only in $a"; status=1; continue
  fi
  cmp -s "$deb" "$b/$name" && continue
  status=1
  echo "$name differs:"
  for part in control data; do
    for side in a b; do
      dir="$work/$side/$part"
      mkdir -p "$dir"
      deb_side=$deb; [ "$side" = a ] || deb_side="$b/$name"
      listing "$deb_side" "$part" >"$work/$side/$part.list"
      if [ "$part" = control ]; then dpkg-deb -e "$deb_side" "$dir"; else dpkg-deb -x "$deb_side" "$dir"; fi
    done
    diff "$work/a/$part.list" "$work/b/$part.list" | sed -n "s/^[<>]/  $part member:&/p" || true
    diff -rq --no-dereference "$work/a/$part" "$work/b/$part" | sed "s#$work/[ab]/##g; s/^/  /" || true
  done
  rm -rf "$work/a" "$work/b"
done
for deb in "$b"/*.deb; do
  [ -e "$a/$(basename "$deb")" ] || { echo "$(basename "$deb"): only in $b"; status=1; }
done
[ "$status" = 0 ] && echo "compare-packages.sh: $count packages the same, byte for byte"
exit "$status"
