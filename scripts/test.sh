#!/usr/bin/env bash
# Builds the updater and runs every test, in the normal and in the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

for preset in default sanitize; do
  echo "=== $preset build ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
