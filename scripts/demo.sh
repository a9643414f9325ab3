#!/usr/bin/env bash
# The main job: the sample update medium, signed with a key pair made here,
# installed on a fresh simulated instrument that runs an older build.
# Prints the updater's output, the instrument's timeline and what changed.
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
medium="$work/medium"

# The medium, signed as a release engineer would sign it.
cp -r examples/medium "$medium"
openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/release.pem"
openssl pkey -in "$work/release.pem" -pubout -out "$work/release.pub"
openssl dgst -sha256 -sign "$work/release.pem" \
  -out "$medium/firmware/AuxInfo.txt.sha256" "$medium/firmware/AuxInfo.txt"

# An instrument in the field: the release key, build 2.2 settings and files that
# 2.3.0 retires.
"$sim" init "$instrument"
cp "$work/release.pub" "$instrument/home/Corvenal/bin/MirelCal.pub"
cat >"$instrument/home/Corvenal/bin/Corvenal.cfg" <<'CFG'
V2.2
# 4271C instrument settings
Language German
Display.Brightness 55
Display.Timeout 300
Measure.Range 20V
Measure.Averaging 4
Network.DHCP off
Network.Hostname bench-07
CFG
echo "calibration table 2.2" >"$instrument/home/Corvenal/bin/legacy-calibration"
echo "update 2.2 done" >"$instrument/home/Corvenal/log/update-2.2.log"

snapshot() {
  (cd "$instrument" && find home sbin -type f -print0 | sort -z | xargs -0 md5sum)
}
snapshot >"$work/before"

"$sim" plug "$instrument" "$medium"
echo "\$ update-sim run DIR -s -t \"2026-06-15 09:30:00\""
status=0
"$sim" run "$instrument" -s -t "2026-06-15 09:30:00" || status=$?
echo "exit status: $status"

echo
echo "Timeline (DIR/sim/events.log):"
sed 's/^/  /' "$instrument/sim/events.log"

echo
echo "What changed on the instrument (MD5, path):"
snapshot >"$work/after"
{ diff "$work/before" "$work/after" || true; } |
  sed -n 's/^</  before:/p; s/^>/  after: /p'
for dir in home/Corvenal/backup home/Corvenal/backup/bin home/Corvenal/backup/log; do
  if [[ -d "$instrument/$dir" ]]; then echo "  new directory: /$dir"; fi
done

echo
echo "Merged settings (/home/Corvenal/bin/Corvenal.cfg):"
sed 's/^/  /' "$instrument/home/Corvenal/bin/Corvenal.cfg"
if [[ -f "$instrument/home/Corvenal/log/UpdateErrorLog.txt" ]]; then
  echo "Error log: $(cat "$instrument/home/Corvenal/log/UpdateErrorLog.txt")"
fi
exit "$status"
