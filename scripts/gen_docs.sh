#!/usr/bin/env bash
# Regenerates the parts of the documents that come from update-medium's code
# table (src/medium/code_reference.cpp), each between its two marker lines:
#   README.md     explain-654  the output of `update-medium explain 654`
#   README.md     codes        every code (`update-medium explain --markdown`)
#   man/update.8  codes        every code (`update-medium explain --roff`)
# Run it after changing the table; a test fails while the documents differ.
#
#   scripts/gen_docs.sh                  builds update-medium of the default preset and uses it
#   scripts/gen_docs.sh UPDATE-MEDIUM    uses that program
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# > 0)); then
  tool=$1
else
  cmake --preset default >/dev/null
  cmake --build --preset default --target update-medium >/dev/null
  tool=build/default/update-medium
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# replace FILE MARKER CONTENT: the lines between the one holding "MARKER:begin"
# and the one holding "MARKER:end" become CONTENT's lines.
replace() {
  local file=$1 marker=$2 content=$3
  if ! grep -q "$marker:begin" "$file" || ! grep -q "$marker:end" "$file"; then
    echo "gen_docs.sh: $file has no $marker:begin and $marker:end lines" >&2
    exit 1
  fi
  awk -v begin="$marker:begin" -v end="$marker:end" -v content="$content" '
    index($0, end) { skipping = 0 }
    !skipping { print }
    index($0, begin) {
      while ((getline line < content) > 0) print line
      skipping = 1
    }' "$file" >"$work/out"
  cat "$work/out" >"$file"
}

{
  echo '```'
  "$tool" explain 654
  echo '```'
} >"$work/example"
"$tool" explain --markdown >"$work/markdown"
"$tool" explain --roff >"$work/roff"

replace README.md explain-654 "$work/example"
replace README.md codes "$work/markdown"
replace man/update.8 codes "$work/roff"
echo "gen_docs.sh: README.md and man/update.8 regenerated from $tool"
