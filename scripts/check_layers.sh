#!/usr/bin/env bash
# Fails when a file under src/ or apps/ includes a project header from a folder
# above its own or beside it. Layers, top to bottom (one line each; folders on
# one line are beside each other):
#   apps
#   sim medium
#   driver
#   operations
#   manifest integrity diag
#   strutil
#   fileutil
#   common platform
# Tests, fuzz targets and benchmarks may include any layer.
#
#   scripts/check_layers.sh            the check (exit 1 on any wrong include)
#   scripts/check_layers.sh --counts   includes per folder, by the folder included
set -euo pipefail
cd "$(dirname "$0")/.."

layers='
apps 7
sim 6
medium 6
driver 5
operations 4
manifest 3
integrity 3
diag 3
strutil 2
fileutil 1
common 0
platform 0'

# "folder included-folder file:line" for every project include.
list_includes() {
  grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src apps |
    sed -E 's|^(src/)?([a-z_]+)/([^:]*):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"/]*)/?.*|\2 \5 \1\2/\3:\4|'
}

if [[ "${1:-}" == "--counts" ]]; then
  list_includes | awk '{ n[$1 " -> " $2]++ } END { for (k in n) print n[k], k }' | sort -k2,2 -k1,1nr
  exit 0
fi

list_includes | awk -v layers="$layers" '
  BEGIN {
    split(layers, lines, "\n")
    for (i in lines) if (split(lines[i], f, " ") == 2) rank[f[1]] = f[2]
  }
  {
    from = $1; to = $2; where = $3
    if (!(from in rank)) { print where ": folder " from " has no layer"; bad++; next }
    if (!(to in rank)) { print where ": includes " to "/, which has no layer"; bad++; next }
    if (from == to || rank[to] < rank[from]) next
    print where ": " from " includes " to "/, which is " (rank[to] == rank[from] ? "beside" : "above") " it"
    bad++
  }
  END {
    if (bad) { print bad " include(s) against the layer order"; exit 1 }
    print "layers: every include of src/ and apps/ points down"
  }'
