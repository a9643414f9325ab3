#!/usr/bin/env bash
# Builds the updater and runs every test: the normal and the sanitizer build on
# this machine, then the instrument's 32-bit ARM build (armhf) under qemu-arm.
# Ends with how many tests ran in each build and how long each took.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT
summary=()
for preset in default sanitize armhf; do
  echo "=== $preset build ==="
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" | tee "$log"
  # ctest's own line: "100% tests passed, 0 tests failed out of N".
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  count=${line##* }
  if [[ -z "$line" || "$count" -eq 0 ]]; then
    echo "=== $preset build: no tests ran ===" >&2
    exit 1
  fi
  summary+=("$(printf '%-9s %4d tests ran (%s) in %d s' "$preset:" "$count" "$line" $((SECONDS - start)))")
done

echo "=== Tests per build ==="
printf '%s\n' "${summary[@]}"
