#!/usr/bin/env bash
# Measures kestrow-scores on loopback with wrk (2 threads, 10 s each), submissions then the list
# request at 2 and 64 connections, in three set-ups: one server on SQLite, one on PostgreSQL,
# and two on PostgreSQL behind HAProxy (server/haproxy.cfg). PostgreSQL is a throw-away cluster
# in a temporary directory, run by the postgres user when this runs as root.
# Usage: score_server_scaling.sh [PATH_TO_KESTROW_SCORES (default build/server/kestrow-scores)]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
server=${1:-$root/build/server/kestrow-scores}
constant() {
  sed -n "s/^inline constexpr uint32_t $1 = \(0x[0-9A-Fa-f]*\);.*/\1/p" \
    "$root/src/scores/score_server_protocol.h"
}
k1=$(($(constant K1))) k2=$(($(constant K2))) k3=$(($(constant K3)))

work=$(mktemp -d)
chmod 755 "$work"
pids=()
as_owner=()
if [[ $(id -u) -eq 0 ]]; then
  chown postgres "$work"
  as_owner=(runuser -u postgres --)
fi
bin=$(pg_config --bindir)
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  "${as_owner[@]}" "$bin/pg_ctl" -D "$work/data" -s -m fast stop 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

pg_port=$(free_port)
"${as_owner[@]}" "$bin/initdb" -D "$work/data" -A trust -U kestrow -E UTF8 --locale=C >/dev/null
"${as_owner[@]}" "$bin/pg_ctl" -D "$work/data" -s -w -l "$work/postgres.log" \
  -o "-p $pg_port -k $work -c listen_addresses=127.0.0.1" start
psql() { "$bin/psql" -q -h 127.0.0.1 -p "$pg_port" -U kestrow "$@"; }

# Starts a server on the database and prints its port.
start_server() {
  local out="$work/out.$RANDOM"
  "$server" --listen 127.0.0.1 --port 0 --db "$1" --rate 1000000 --connections-per-address 128 \
    --trusted-proxy 127.0.0.1 >"$out" &
  pids+=($!)
  for _ in $(seq 100); do grep -q listening "$out" && break; sleep 0.05; done
  sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$out"
}

measure() {
  local title=$1 url=$2
  for connections in 2 64; do
    for action in set get; do
      printf '%-34s %-3s %2d connections: ' "$title" "$action" "$connections"
      wrk -t2 -c"$connections" -d10s -s "$here/score_server_wrk.lua" "$url" -- "$action" \
        "$k1" "$k2" "$k3" | tail -n 1
    done
  done
}

measure "one server, SQLite" "http://127.0.0.1:$(start_server "$work/scores.db")"

psql -d postgres -c "CREATE DATABASE single"
measure "one server, PostgreSQL" \
  "http://127.0.0.1:$(start_server "postgresql://kestrow@127.0.0.1:$pg_port/single")"

psql -d postgres -c "CREATE DATABASE shared"
first=$(start_server "postgresql://kestrow@127.0.0.1:$pg_port/shared")
second=$(start_server "postgresql://kestrow@127.0.0.1:$pg_port/shared")
front=$(free_port)
sed -e "s/bind :80/bind 127.0.0.1:$front/" -e "s/127.0.0.1:8081/127.0.0.1:$first/" \
  -e "s/127.0.0.1:8082/127.0.0.1:$second/" "$root/server/haproxy.cfg" >"$work/haproxy.cfg"
haproxy -db -q -f "$work/haproxy.cfg" &
pids+=($!)
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$front/healthz" >/dev/null && break; sleep 0.1; done
sleep 2  # both servers seen healthy
measure "two servers, PostgreSQL, HAProxy" "http://127.0.0.1:$front"
echo "results stored on PostgreSQL: $(psql -d shared -tA -c 'SELECT count(*) FROM results')"
