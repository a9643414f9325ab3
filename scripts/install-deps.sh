#!/usr/bin/env bash
# Installs what building and testing the updater needs on Debian 12 (as root):
# the native tools and libraries, ImageMagick and a font for the simulated
# instrument's screens, and for the instrument's build the armhf cross
# compiler, Debian's armhf OpenSSL and GoogleTest (multiarch) and qemu-user to
# run the armhf tests. Does nothing when everything is there already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  imagemagick fonts-dejavu-core
  g++-arm-linux-gnueabihf libc6-dev-armhf-cross qemu-user perl
  libssl-dev:armhf libgtest-dev:armhf libgmock-dev:armhf libstdc++6:armhf
)

# The armhf packages exist for apt only once the architecture is added.
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  dpkg --add-architecture armhf
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends --no-remove "${missing[@]}" >/dev/null
fi
