#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ to look for bugs (not part of the tests).
#
#   scripts/fuzz.sh [-t SECONDS] [-k] [TARGET...]
#
# Each target (default: all) runs for SECONDS (default 60) under AddressSanitizer
# and UndefinedBehaviorSanitizer, starting from its seed corpus fuzz/corpus/NAME
# and a working corpus build/fuzz/work/NAME that grows from run to run. A failing
# input lands in build/fuzz/findings/. With -k the working corpus is minimized
# into fuzz/corpus/NAME, so that the tests replay what was found.
# Ends with one line per target: runs, executions per second, findings.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
keep=0
while getopts "t:k" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    k) keep=1 ;;
    *) echo "usage: $0 [-t SECONDS] [-k] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

scripts/install-deps.sh
need=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in fuzz/*_fuzz.cpp; do
    n=${f##*/}
    targets+=("${n%_fuzz.cpp}")
  done
fi

# Longer inputs only where a target's input is a whole file.
max_len() {
  case $1 in
    manifest | config_merge) echo 8192 ;;
    *) echo 1024 ;;
  esac
}

mkdir -p build/fuzz/findings
summary=()
status=0
for t in "${targets[@]}"; do
  bin=build/fuzz/fuzz/fuzz_$t
  [[ -x $bin ]] || { echo "no such target: $t" >&2; exit 2; }
  work=build/fuzz/work/$t
  mkdir -p "$work"
  log=build/fuzz/$t.log
  echo "=== $t: $seconds s ==="
  dict=()
  [[ -f fuzz/$t.dict ]] && dict=(-dict="fuzz/$t.dict")
  set +e
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$bin" "$work" "fuzz/corpus/$t" \
    -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$t-" "${dict[@]}" 2>"$log"
  rc=$?
  set -e
  runs=$(grep -oP 'stat::number_of_executed_units:\s*\K[0-9]+' "$log" | tail -1 || true)
  took=$(grep -oP 'stat::average_exec_per_sec:\s*\K[0-9]+' "$log" | tail -1 || true)
  found="no finding"
  if ((rc != 0)); then
    found="FINDING (exit $rc, see $log and build/fuzz/findings/)"
    status=1
    tail -30 "$log"
  fi
  summary+=("$(printf '%-13s %12s runs %8s execs/s  %s' "$t" "${runs:-?}" "${took:-?}" "$found")")
  if ((keep)); then
    mkdir -p "build/fuzz/merged/$t"
    rm -f "build/fuzz/merged/$t"/*
    "$bin" -merge=1 -max_len="$(max_len "$t")" "build/fuzz/merged/$t" "fuzz/corpus/$t" "$work" \
      2>>"$log"
    rm -f "fuzz/corpus/$t"/*
    cp "build/fuzz/merged/$t"/* "fuzz/corpus/$t"/
  fi
done

echo "=== Fuzzing, $seconds s per target ==="
printf '%s\n' "${summary[@]}"
exit $status
