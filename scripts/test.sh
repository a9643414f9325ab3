#!/usr/bin/env bash
# Builds the updater and runs every test: the normal and the sanitizer build on
# this machine, then the instrument's 32-bit ARM build (armhf) under qemu-arm;
# last, the plain Release build, only built: at -O3 the compiler warns about
# things that the other builds do not show, and warnings are errors.
#
#   scripts/test.sh [PRESET...]      (default: default sanitize armhf release)
#
# First checks that every include of src/ and apps/ points down the layers
# (scripts/check_layers.sh). After each build, configuring and building the
# unchanged tree again must do nothing. Ends with what each build's tests did, every skipped test with its
# reason, and the line "N passed, N failed, N skipped" over all builds.
# Stops at the first build whose tests fail.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

# Includes point one way through the layers before anything is built.
scripts/check_layers.sh

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Configuring the unchanged tree again may rewrite CMake's own files, but no
# file that the build reads (a source, a generated header, a depfile's entry),
# and the build that follows finds nothing to do.
check_no_rebuild() {
  local preset=$1 dir=$PWD/build/$1 out
  touch "$tmp/marker"
  cmake --preset "$preset" >/dev/null
  find "$dir" -type f -newer "$tmp/marker" | LC_ALL=C sort >"$tmp/changed"
  { ninja -C "$dir" -t inputs all; ninja -C "$dir" -t deps | sed -n 's/^    //p'; } |
    awk -v dir="$dir/" '{ print (substr($0, 1, 1) == "/" ? $0 : dir $0) }' | LC_ALL=C sort -u >"$tmp/inputs"
  if [[ -n $(LC_ALL=C comm -12 "$tmp/changed" "$tmp/inputs") ]]; then
    echo "=== $preset build: configuring the unchanged tree again changed what the build reads: ===" >&2
    LC_ALL=C comm -12 "$tmp/changed" "$tmp/inputs" >&2
    exit 1
  fi
  out=$(cmake --build --preset "$preset" 2>&1)
  if ! grep -qx 'ninja: no work to do.' <<<"$out"; then
    echo "$out" >&2
    echo "=== $preset build: building the unchanged tree again did work (above) ===" >&2
    exit 1
  fi
}

# One line per test of ctest's JUnit file: "passed|failed|skipped<TAB>name<TAB>reason".
# A GoogleTest skip is "FILE:LINE: Skipped" in the test's output, followed by
# the reason up to the "[  SKIPPED ]" line.
test_results() {
  awk '
    function attr(line, key) {
      if (!match(line, key "=\"[^\"]*\"")) return ""
      return substr(line, RSTART + length(key) + 2, RLENGTH - length(key) - 3)
    }
    function text(s) {
      gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
      gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s); gsub(/\t/, " ", s)
      return s
    }
    /<testcase / {
      name = text(attr($0, "name")); status = attr($0, "status")
      skip = ""; reason = ""; inReason = 0
      next
    }
    /<skipped / { skip = text(attr($0, "message")) }
    /^\[  SKIPPED \]/ { inReason = 0 }
    inReason {
      line = $0
      if (sub(/<\/system-out>.*/, "", line)) inReason = 0
      if (line != "") reason = reason (reason == "" ? "" : " ") text(line)
    }
    /: Skipped$/ { inReason = 1 }
    /<\/testcase>/ {
      if (status == "run") kind = "passed"
      else if (status == "disabled") { kind = "skipped"; reason = "disabled" }
      else if (status == "notrun" && skip ~ /^SKIP_/) kind = "skipped"
      else kind = "failed"
      if (kind == "skipped" && reason == "") reason = (skip == "" ? "no reason given" : skip)
      printf "%s\t%s\t%s\n", kind, name, (kind == "skipped" ? reason : "")
    }
  ' "$1"
}

summary=()
passed=0 failed=0 skipped=0 status=0
presets=("$@")
((${#presets[@]})) || presets=(default sanitize armhf release)
for preset in "${presets[@]}"; do
  echo "=== $preset build ==="
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  check_no_rebuild "$preset"
  # Its tests would repeat the default build's.
  if [[ $preset == release ]]; then
    summary+=("$(printf '%-9s built without a warning in %d s (tests not run)' "$preset:" \
      $((SECONDS - start)))")
    continue
  fi

  junit=$tmp/$preset.xml
  rm -f "$junit"
  if ctest --preset "$preset" --output-junit "$junit" | tee "$tmp/log"; then status=0; else status=$?; fi
  # ctest's own line: "100% tests passed, 0 tests failed out of N".
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$tmp/log" | tail -1 || true)
  if [[ -f $junit ]]; then test_results "$junit" >"$tmp/results"; else : >"$tmp/results"; fi
  p=$(grep -c '^passed' "$tmp/results" || true)
  f=$(grep -c '^failed' "$tmp/results" || true)
  s=$(grep -c '^skipped' "$tmp/results" || true)
  if [[ -z $line ]] || ((p + f == 0)); then
    echo "=== $preset build: no tests ran ===" >&2
    exit 1
  fi
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
  summary+=("$(printf '%-9s %4d tests: %d passed, %d failed, %d skipped in %d s (%s)' \
    "$preset:" $((p + f + s)) "$p" "$f" "$s" $((SECONDS - start)) "$line")")
  while IFS=$'\t' read -r _ name reason; do
    summary+=("          skipped $name: $reason")
  done < <(grep '^skipped' "$tmp/results" || true)
  while IFS=$'\t' read -r _ name _; do
    summary+=("          FAILED  $name")
  done < <(grep '^failed' "$tmp/results" || true)
  if ((status != 0 || f != 0)); then
    status=1
    break
  fi
done

echo "=== Tests per build ==="
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed, $skipped skipped"
exit "$status"
