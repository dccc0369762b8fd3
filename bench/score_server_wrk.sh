#!/usr/bin/env bash
# Measures kestrow-scores on loopback with wrk (2 threads, 10 s each): submissions, then the list
# request, at 2 and at 64 connections; prints requests a second and the p50, p99 and p99.9
# latencies. Usage: score_server_wrk.sh [PATH_TO_KESTROW_SCORES (default build/server/...)]
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
# The benchmark's one address must not be held back by the per-address bounds.
"$server" --listen 127.0.0.1 --port 0 --db "$work/scores.db" --rate 1000000 \
  --connections-per-address 128 >"$work/out" &
pid=$!
for _ in $(seq 100); do grep -q listening "$work/out" && break; sleep 0.05; done
port=$(sed -n 's/.*:\([0-9]*\)$/\1/p' "$work/out")
url="http://127.0.0.1:$port"

for connections in 2 64; do
  echo "== action=set, $connections connections"
  wrk -t2 -c"$connections" -d10s -s "$here/score_server_wrk.lua" "$url" -- set "$k1" "$k2" "$k3" |
    tail -n 1
  echo "== action=get (list of the sixteen best), $connections connections"
  wrk -t2 -c"$connections" -d10s -s "$here/score_server_wrk.lua" "$url" -- get | tail -n 1
done
echo "results stored: $(sqlite3 "$work/scores.db" 'SELECT count(*) FROM results' 2>/dev/null || echo '?')"
