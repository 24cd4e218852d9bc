#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing
# (all that the build and tests need when called without arguments). A
# package of another processor (name:i386) first adds that processor to
# the package manager's list.
set -euo pipefail

packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
  packages=(cmake make g++ clang-14 libclang-rt-14-dev libgtest-dev libgmock-dev
            libbenchmark-dev imagemagick python3 binutils pkg-config)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
for p in "${missing[@]}"; do
  case "$p" in
    *:*)
      arch="${p##*:}"
      if [ "$arch" != "$(dpkg --print-architecture)" ] &&
         ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        echo "Adding the package architecture $arch"
        $sudo dpkg --add-architecture "$arch"
      fi
      ;;
  esac
done
echo "Installing: ${missing[*]}"
# Another install running at the same time holds the package lock a while.
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
  --no-install-recommends "${missing[@]}" >/dev/null
