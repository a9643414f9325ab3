#!/usr/bin/env bash
# Digest throughput of MD5Hash and SHA256Hash beside md5sum, openssl dgst -md5
# and openssl dgst -sha256, on one page-cached file of random bytes.
#
#   bench/integrity_vs_tools.sh BUILD_DIR [SIZE_MiB] [RUNS]
#
# Every program runs as its own process on the same file (ours through
# bench_integrity --md5/--sha256), RUNS times each (default 7), interleaved; the
# best run counts. Throughput is reported from CPU time (user + system) and from
# wall time; the process start-up cost, measured on an empty file, is shown
# and subtracted in the "net" columns. Then the in-process benchmarks run on the
# same file. Everything happens in a fresh temporary directory.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [SIZE_MiB] [RUNS]}
size_mib=${2:-256}
runs=${3:-7}
bin="$build/bench/bench_integrity"
[[ -x $bin ]] || { echo "no $bin: build the benchmarks first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/integrity-vs-tools-XXXXXX")
trap 'rm -rf "$work"' EXIT
file="$work/payload.bin"
empty="$work/empty.bin"
openssl rand -out "$file" $((size_mib * 1024 * 1024))
: >"$empty"
cat "$file" >"$work/warm" && rm "$work/warm"  # into the page cache

declare -A tool=(
  [ours_md5]="$bin --md5"
  [md5sum]="md5sum"
  [openssl_md5]="openssl dgst -md5"
  [ours_sha256]="$bin --sha256"
  [openssl_sha256]="openssl dgst -sha256"
)
names=(ours_md5 md5sum openssl_md5 ours_sha256 openssl_sha256)

# Best (smallest) "wall cpu" seconds of one command on one file.
declare -A best_wall best_cpu start_wall start_cpu
measure() {  # name file -> sets REPLY to "wall cpu" of one run
  local TIMEFORMAT='%R %U %S' t
  t=$({ time ${tool[$1]} "$2" >"$work/out" 2>&1; } 2>&1)
  read -r w u s <<<"$t"
  REPLY="$w $(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.3f", u + s }')"
}
keep_min() {  # array key value
  local -n arr=$1
  if [[ -z ${arr[$2]:-} ]] || awk -v a="$3" -v b="${arr[$2]}" 'BEGIN { exit !(a < b) }'; then
    arr[$2]=$3
  fi
}

for ((r = 0; r < runs; r++)); do
  for n in "${names[@]}"; do
    measure "$n" "$file"; read -r w c <<<"$REPLY"
    keep_min best_wall "$n" "$w"; keep_min best_cpu "$n" "$c"
    measure "$n" "$empty"; read -r w c <<<"$REPLY"
    keep_min start_wall "$n" "$w"; keep_min start_cpu "$n" "$c"
  done
done

# The digests must agree, or the timings mean nothing.
md5_ours=$($bin --md5 "$file" | cut -d' ' -f1)
md5_ref=$(md5sum "$file" | cut -d' ' -f1)
sha_ours=$($bin --sha256 "$file" | cut -d' ' -f1)
sha_ref=$(sha256sum "$file" | cut -d' ' -f1)
[[ $md5_ours == "$md5_ref" && $sha_ours == "$sha_ref" ]] || { echo "digests differ" >&2; exit 1; }

bytes=$((size_mib * 1024 * 1024))
mibps() { awk -v b="$bytes" -v t="$1" -v z="${2:-0}" 'BEGIN { d = t - z; printf "%8.1f", (d > 0 ? b / 1048576 / d : 0) }'; }
printf '\n%s MiB file, best of %s runs, MiB/s\n' "$size_mib" "$runs"
printf '%-16s %9s %9s %9s %9s %12s\n' program cpu wall net-cpu net-wall startup-ms
for n in "${names[@]}"; do
  printf '%-16s %9s %9s %9s %9s %12.1f\n' "$n" \
    "$(mibps "${best_cpu[$n]}")" "$(mibps "${best_wall[$n]}")" \
    "$(mibps "${best_cpu[$n]}" "${start_cpu[$n]}")" "$(mibps "${best_wall[$n]}" "${start_wall[$n]}")" \
    "$(awk -v t="${start_wall[$n]}" 'BEGIN { print t * 1000 }')"
done

ratio() {  # label ours theirs
  awk -v l="$1" -v oc="${best_cpu[$2]}" -v tc="${best_cpu[$3]}" -v ow="${best_wall[$2]}" \
      -v tw="${best_wall[$3]}" -v osc="${start_cpu[$2]}" -v tsc="${start_cpu[$3]}" \
      'BEGIN { printf "%-32s cpu %6.1f %%   wall %6.1f %%   net-cpu %6.1f %%\n", l,
               100 * tc / oc, 100 * tw / ow, 100 * (tc - tsc) / (oc - osc) }'
}
printf '\nThroughput ratios (ours / theirs):\n'
ratio "MD5Hash / md5sum" ours_md5 md5sum
ratio "MD5Hash / openssl dgst -md5" ours_md5 openssl_md5
ratio "SHA256Hash / openssl dgst -sha256" ours_sha256 openssl_sha256

printf '\nIn-process benchmarks on the same file:\n'
UPD_BENCH_FILE="$file" "$bin" --benchmark_color=false
