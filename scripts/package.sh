#!/usr/bin/env bash
# Builds the Debian packages of a release into build/packages/:
#
#   update4271c_VERSION-1_armhf.deb        update in /usr/sbin, for the instrument's image
#   update4271c-tools_VERSION-1_amd64.deb  update-medium and update-sim in /usr/bin
#
#   scripts/package.sh
#
# Each package comes from a Release build of its own (presets package-armhf
# and package-amd64, configured afresh), compiled with Debian's hardening flags
# (dpkg-buildflags) and put together by CPack; dpkg-shlibdeps finds the
# run-time dependencies. The banner's date is the changelog's latest entry's
# (SOURCE_DATE_EPOCH, unless it is set), as Debian's own builds take it, so a
# release builds the same binaries again. Fails unless that entry names the
# packages' version, the tools print it, and lintian finds no error (its whole
# report is printed).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all
need=()
for p in dpkg-dev file lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

logged=$(dpkg-parsechangelog -l packaging/changelog -S Version)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l packaging/changelog -S Timestamp)}

out=build/packages
rm -rf "$out"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# package PRESET COMPONENT ARCHITECTURE
package() {
  local preset=$1 component=$2 arch=$3 dir=build/$1
  echo "=== $component package ($arch, preset $preset) ==="
  # Debian's flags for that architecture, bindnow included.
  local buildflags=(env DEB_HOST_ARCH="$arch" DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags)
  CXXFLAGS="$("${buildflags[@]}" --get CPPFLAGS) $("${buildflags[@]}" --get CXXFLAGS)" \
    LDFLAGS="$("${buildflags[@]}" --get LDFLAGS)" \
    cmake --preset "$preset" --fresh >/dev/null
  cmake --build --preset "$preset"
  rm -rf "$dir/packages"
  (cd "$dir" && DEB_HOST_ARCH="$arch" cpack -D CPACK_COMPONENTS_ALL="$component" >/dev/null)
  cp "$dir"/packages/*.deb "$out"/
}

package package-armhf updater armhf
package package-amd64 tools "$(dpkg --print-architecture)"

# The changelog's latest entry names the version the packages carry.
for deb in "$out"/*.deb; do
  version=$(dpkg-deb -f "$deb" Version)
  if [[ $version != "$logged" ]]; then
    echo "$deb is version $version, packaging/changelog's latest entry $logged: add an entry" >&2
    exit 1
  fi
done

# The tools, unpacked, name the release.
tools=("$out"/*-tools_*.deb)
dpkg-deb -x "${tools[0]}" "$tmp/root"
for tool in update-medium update-sim; do
  printed=$("$tmp/root/usr/bin/$tool" --version)
  if [[ $printed != "$tool ${logged%-*}" ]]; then
    echo "$tool --version printed '$printed', not '$tool ${logged%-*}'" >&2
    exit 1
  fi
done

echo "=== lintian ==="
status=0
report=$(lintian --fail-on error "$out"/*.deb 2>&1) || status=$?
grep -v '^running with root privileges' <<<"$report" || true
if ((status != 0)); then
  echo "lintian found errors (exit status $status)" >&2
  exit 1
fi

echo "=== Packages in $out ==="
for deb in "$out"/*.deb; do
  printf '%s  %s\n' "${deb##*/}" "$(dpkg-deb -f "$deb" Depends)"
done
