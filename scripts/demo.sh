#!/usr/bin/env bash
# The main job: the sample update medium, signed with a key pair made here,
# checked, and installed on a fresh simulated instrument that runs an older
# build. Prints the check, the updater's output, the instrument's timeline,
# what changed, and where the pictures of the instrument's screen are.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh demo
cmake --preset default >/dev/null
if ! log=$(cmake --build --preset default --target update-sim update-medium 2>&1); then
  echo "$log" >&2
  exit 1
fi

sim=build/default/update-sim
medium_tool=build/default/update-medium
screens=build/demo-screens
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
# Its splash image, the background of every message on its screen.
convert -size 480x272 gradient:'#2f5575'-'#0a1722' -font DejaVu-Sans-Bold -pointsize 44 \
  -fill '#9cc2e0' -gravity north -annotate +0+28 4271C "$instrument/home/Corvenal/bin/CorvenalSplash.png"
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

# What the release engineer checks before the medium ships.
echo "\$ update-medium check MEDIUM --key release.pub --timestamp \"2026-06-15 09:30:00\""
"$medium_tool" check "$medium" --key "$work/release.pub" --timestamp "2026-06-15 09:30:00"
echo

"$sim" plug "$instrument" "$medium"
echo "\$ update-sim run DIR --screens -- -s -t \"2026-06-15 09:30:00\""
status=0
"$sim" run "$instrument" --screens -- -s -t "2026-06-15 09:30:00" || status=$?
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

# The screens outlive the instrument's temporary directory.
rm -rf "$screens"
cp -r "$instrument/sim/screens" "$screens"
echo
echo "The instrument's screen, 480x272 (DIR/sim/screens, copied to $screens):"
paste <(find "$screens" -name '*.png' | sort) <(sed -n 's/^display //p' "$instrument/sim/events.log") |
  sed 's/^/  /; s/\t/  /'
exit "$status"
