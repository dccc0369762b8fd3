#!/usr/bin/env bash
# The include graph of src/ between folders, and the check that keeps the folders layered.
#   tools/include_graph.sh [SRC_DIR]           one line per pair of folders: FROM -> TO (N includes)
#   tools/include_graph.sh --check [SRC_DIR]   names every include that runs up the layers, across
#                                              to a sibling, into a backend, or out of the layers;
#                                              exits 1 when there is one
# Layers, lowest first; a folder includes only its own headers and those of lower layers. The
# platform backends implement the platform's headers and are included by nobody else.
set -euo pipefail

LAYERS='
platform          0
base              1
platform/gtk      2 private
platform/headless 2 private
platform/sdl      2 private
widgets           3
game              4
scores            5
video             5
settings          6
shell             7
'

mode=graph
if [[ ${1:-} == --check ]]; then
  mode=check
  shift
fi
src=${1:-$(dirname "$0")/../src}
cd "$src"

# Every quoted include as "FILE LINE INCLUDED", FILE relative to src/.
includes() {
  grep -rn --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' . |
    sed -E 's|^\./||; s|^([^:]*):([0-9]+):[^"]*"([^"]*)".*|\1 \2 \3|' | sort
}

includes | awk -v mode="$mode" -v layers="$LAYERS" '
  BEGIN {
    n = split(layers, lines, "\n")
    for (i = 1; i <= n; i++) {
      if (split(lines[i], f, " ") < 2) continue
      rank[f[1]] = f[2]
      if (f[3] == "private") private[f[1]] = 1
    }
  }
  function folder(path) {
    sub(/\/[^\/]*$/, "", path)
    return path
  }
  {
    from = folder($1)
    to = folder($3)
    if (from == to) next
    edges[from " -> " to]++
    if (!(from in rank)) {
      problem = "its folder " from " is in no layer"
    } else if (!(to in rank)) {
      problem = to " is in no layer"
    } else if (to in private) {
      problem = to " is a backend, private to itself"
    } else if (rank[to] > rank[from]) {
      problem = to " lies above " from
    } else if (rank[to] == rank[from]) {
      problem = to " lies beside " from ", not below it"
    } else {
      next
    }
    bad++
    if (mode == "check") printf "src/%s:%s: includes \"%s\": %s\n", $1, $2, $3, problem
  }
  END {
    if (mode == "graph") {
      for (e in edges) printf "%s (%d includes)\n", e, edges[e] | "sort"
      close("sort")
      exit 0
    }
    if (bad) {
      printf "%d includes break the layers\n", bad
      exit 1
    }
    print "every include runs down the layers"
  }'
