#!/usr/bin/env bash
# Installs what the updater needs on Debian 12 (as root); does nothing when
# everything is there already.
#
#   scripts/install-deps.sh [demo|all]
#
# demo: the native compiler and build tools, OpenSSL's library and tool,
#   GoogleTest and Google Benchmark (the presets require them), ImageMagick
#   and a font for the simulated instrument's screens.
# all (the default): that, groff and man-db (a test renders the manual pages
#   with them), and for the instrument's build the armhf cross compiler,
#   Debian's armhf OpenSSL and GoogleTest (multiarch) and qemu-user to run the
#   armhf tests.
#
# Only "all" adds the armhf architecture: installing libssl-dev:armhf pins the
# host's OpenSSL to the same version and may upgrade it, which the demo must
# never do to a machine.
set -euo pipefail

mode=${1:-all}
packages=(
  build-essential cmake ninja-build pkg-config
  libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  imagemagick fonts-dejavu-core
)
case $mode in
  demo) ;;
  all)
    packages+=(
      groff-base man-db
      g++-arm-linux-gnueabihf libc6-dev-armhf-cross qemu-user perl
      libssl-dev:armhf libgtest-dev:armhf libgmock-dev:armhf libstdc++6:armhf
    )
    # The armhf packages exist for apt only once the architecture is added.
    if ! dpkg --print-foreign-architectures | grep -qx armhf; then
      dpkg --add-architecture armhf
    fi
    ;;
  *)
    echo "usage: $0 [demo|all]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # OpenSSL's tool and headers come in the version of its library: for the
  # demo, ask for the library's installed version, so that the machine's
  # OpenSSL is never upgraded on the way.
  ssl=$(dpkg-query -W -f='${Status}|${Version}' "libssl3:$(dpkg --print-architecture)" 2>/dev/null || true)
  if [[ $mode == demo && $ssl == "install ok installed|"* ]]; then
    ssl=${ssl#*|}
    for i in "${!missing[@]}"; do
      p=${missing[i]}
      [[ $p == libssl-dev || $p == openssl ]] || continue
      if ! apt-cache madison "$p" | awk -F'|' -v v="$ssl" '{ gsub(/ /, "", $2) } $2 == v { f = 1 } END { exit !f }'; then
        echo "$p $ssl, the version of the installed OpenSSL, is not available: install $p by hand" >&2
        exit 1
      fi
      missing[i]="$p=$ssl"
    done
  fi
  apt-get install -y -qq --no-install-recommends --no-remove "${missing[@]}" >/dev/null
fi
