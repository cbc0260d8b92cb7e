#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the demo and the packages need
# (prometheus for its promtool and server in the tests, prometheus-alertmanager for its
# amtool and server, prometheus-node-exporter for the textfile collector's test, systemd
# for systemd-analyze, debhelper, dh-python and autopkgtest for the Debian packages and
# their tests, pybind11-dev, python3-dev and python3-pytest for the Python module and its
# tests, python3-mypy for its stub's checks, python3-pip, python3-setuptools and
# python3-venv for its pip install into a virtual environment, python3-matplotlib for its
# soak example's plot and plot-log.py, python3-pandas to read back the wide CSV of
# ksm7720 log).
# Skips apt entirely when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libbenchmark-dev libgtest-dev
  pkg-config libmicrohttpd-dev libgnutls28-dev libyaml-cpp-dev libcrypt-dev
  prometheus curl openssl
  clang-format clang-tidy
  fonts-liberation fonts-dejavu-core
  xvfb xauth
  dpkg-dev debhelper dh-python lintian autopkgtest desktop-file-utils appstream systemd
  prometheus curl jq
  python3 python3-dev pybind11-dev python3-pytest python3-matplotlib python3-pandas
  python3-mypy python3-pip python3-setuptools python3-venv
  prometheus-node-exporter
  prometheus-alertmanager
  locales
)
# The exporter's unit tests write numbers under a locale with a decimal comma.
test_locale_present() { locale -a 2>/dev/null | grep -qx 'de_DE.utf8'; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && test_locale_present && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "install-deps.sh: missing packages (${missing[*]}); run as root, or install sudo" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  # sudo resets the environment, so the variable goes through env, past it.
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
test_locale_present || "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
