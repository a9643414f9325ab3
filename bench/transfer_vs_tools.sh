#!/usr/bin/env bash
# Installing one file through TransferFile beside two shell sequences that do
# the same work with the system's tools, on one page-cached file of random bytes:
#   coreutils  cp, sync, md5sum, sha256sum
#   openssl    cp, sync, openssl dgst -md5, openssl dgst -sha256
#
#   bench/transfer_vs_tools.sh BUILD_DIR [SIZE_MiB] [RUNS]
#
# First both sequences run from this shell, one command after the other as a
# user would type them, RUNS times each (default 7), interleaved; the median
# wall time of every command and of each whole sequence is shown. Then
# bench_transfer runs on the same file with RUNS repetitions (TransferFile on a
# simulated instrument and both sequences again, interleaved in one process)
# and prints its medians and ratios. Last, its TransferFile median is set
# against the sequences timed here. Everything happens in a fresh temporary
# directory, removed at the end.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [SIZE_MiB] [RUNS]}
size_mib=${2:-256}
runs=${3:-7}
bin="$build/bench/bench_transfer"
[[ -x $bin ]] || { echo "no $bin: build the benchmarks first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/transfer-vs-tools-XXXXXX")
trap 'rm -rf "$work"' EXIT
file="$work/payload.bin"
copy="$work/copy.bin"
openssl rand -out "$file" $((size_mib * 1024 * 1024))
cat "$file" >"$work/warm" && rm "$work/warm"  # into the page cache
cp "$file" "$copy"                              # every timed cp replaces a file
sync

declare -A samples  # step -> space-separated wall seconds
step() {  # name command... : runs the command, adds its wall time to the step
  local name=$1 start end
  shift
  start=$EPOCHREALTIME
  "$@" >>"$work/digests"
  end=$EPOCHREALTIME
  samples[$name]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') "
}
median() {  # values... -> the median
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for ((r = 0; r < runs; r++)); do
  : >"$work/digests"
  start=$EPOCHREALTIME
  step cp cp "$file" "$copy"
  step sync sync
  step md5sum md5sum "$copy"
  step sha256sum sha256sum "$copy"
  samples[coreutils]+="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }') "

  start=$EPOCHREALTIME
  step cp cp "$file" "$copy"
  step sync sync
  step openssl_md5 openssl dgst -md5 "$copy"
  step openssl_sha256 openssl dgst -sha256 "$copy"
  samples[openssl]+="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }') "

  # The two tools must agree on both digests, or the timings mean nothing.
  [[ $(grep -oE '[0-9a-f]{32,64}' "$work/digests" | sort -u | wc -l) -eq 2 ]] ||
    { echo "the tools' digests differ" >&2; exit 1; }
done

declare -A med
printf '\n%s MiB file, median wall seconds of %s runs, from this shell:\n' "$size_mib" "$runs"
for n in cp sync md5sum sha256sum openssl_md5 openssl_sha256 coreutils openssl; do
  # shellcheck disable=SC2086  # the samples are words
  med[$n]=$(median ${samples[$n]})
  printf '  %-16s %7s\n' "$n" "${med[$n]}"
done

printf '\nbench_transfer on the same file, %s repetitions:\n' "$runs"
UPD_BENCH_FILE="$file" "$bin" --benchmark_repetitions="$runs" \
  --benchmark_display_aggregates_only=true --benchmark_color=false | tee "$work/bench.txt"

ours=$(awk '$1 == "TransferFile" { print $2 }' "$work/bench.txt")
[[ -n $ours ]] || { echo "bench_transfer reported no TransferFile median" >&2; exit 1; }
printf '\nTransferFile (bench_transfer) / sequences timed from this shell:\n'
awk -v t="$ours" -v c="${med[coreutils]}" -v o="${med[openssl]}" 'BEGIN {
  printf "  / cp, sync, md5sum, sha256sum         %6.2f\n", t / c
  printf "  / cp, sync, openssl dgst              %6.2f\n", t / o }'
