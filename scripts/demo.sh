#!/usr/bin/env bash
# The main job: an update of the sample medium on a fresh simulated instrument.
# Prints what the updater printed, its exit status and the instrument's timeline.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
if ! log=$(cmake --build --preset default --target update-sim 2>&1); then
  echo "$log" >&2
  exit 1
fi

sim=build/default/update-sim
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
instrument="$work/instrument"

"$sim" init "$instrument"
"$sim" plug "$instrument" examples/medium
echo "\$ update-sim run $instrument -t \"2019-05-21 08:19:37\""
status=0
"$sim" run "$instrument" -t "2019-05-21 08:19:37" || status=$?
echo "exit status: $status"
echo
echo "Timeline ($instrument/sim/events.log):"
sed 's/^/  /' "$instrument/sim/events.log"
if [[ -f "$instrument/home/Corvenal/log/UpdateErrorLog.txt" ]]; then
  echo "Error log: $(cat "$instrument/home/Corvenal/log/UpdateErrorLog.txt")"
fi
