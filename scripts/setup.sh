#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on Debian 12 or 13.
# Idempotent and silent when everything is already there.
set -euo pipefail

packages=(
  cmake make g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  googletest libgtest-dev g++ wine wine64 fonts-wine xvfb xauth openssl python3 7zip dpkg-dev
  locales imagemagick iproute2 util-linux curl osslsigncode nlohmann-json3-dev git
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "setup: missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# The Debian 13 root of the tests takes no recommended packages: a third of
# the size, and nothing the build or the tests use.
recommends=()
[[ "${NOLM_APT_RECOMMENDS:-yes}" == no ]] && recommends=(--no-install-recommends)
apt-get install -y -qq "${recommends[@]}" "${missing[@]}" >/dev/null
