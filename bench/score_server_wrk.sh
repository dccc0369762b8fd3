#!/usr/bin/env bash
# Measures kestrow-scores on loopback with wrk (2 threads, 2 connections, 10 s): the list request,
# then submissions. Usage: score_server_wrk.sh [PATH_TO_KESTROW_SCORES (default build/server/...)]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
server=${1:-$root/build/server/kestrow-scores}
if ! command -v wrk >/dev/null; then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends wrk >/dev/null
fi
constant() {
  sed -n "s/^inline constexpr uint32_t $1 = \(0x[0-9A-Fa-f]*\);.*/\1/p" \
    "$root/src/scores/score_server_protocol.h"
}
k1=$(($(constant K1))) k2=$(($(constant K2))) k3=$(($(constant K3)))

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
# The benchmark's one address must not be held back by the per-address bound.
"$server" --listen 127.0.0.1 --port 0 --db "$work/scores.db" --rate 1000000 >"$work/out" &
pid=$!
for _ in $(seq 100); do grep -q listening "$work/out" && break; sleep 0.05; done
port=$(sed -n 's/.*:\([0-9]*\)$/\1/p' "$work/out")
url="http://127.0.0.1:$port"

echo "== action=set"
wrk -t2 -c2 -d10s --latency -s "$here/score_server_wrk.lua" "$url" -- set "$k1" "$k2" "$k3"
echo "== action=get (list of the sixteen best)"
wrk -t2 -c2 -d10s --latency -s "$here/score_server_wrk.lua" "$url" -- get
echo "results stored: $(sqlite3 "$work/scores.db" 'SELECT count(*) FROM results' 2>/dev/null || echo '?')"
