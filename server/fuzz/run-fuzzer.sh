#!/usr/bin/env bash
# Builds the libFuzzer target of the score server's request parsing and token decoding with clang
# and runs it. Usage: run-fuzzer.sh [SECONDS (default 600)] [WORK_DIR (default /tmp/kestrow-fuzz)]
set -euo pipefail
seconds=${1:-600}
work=${2:-/tmp/kestrow-fuzz}
here=$(cd "$(dirname "$0")" && pwd)
server=$(dirname "$here")
src=$(dirname "$server")/src
clang=$(command -v clang++ || command -v clang++-14)
mkdir -p "$work/corpus"
binary="$work/request_fuzzer"
sources=("$here/request_fuzzer.cpp" "$server/score_requests.cpp" "$server/score_store.cpp"
  "$server/sqlite_store.cpp" "$server/postgres_store.cpp" "$server/replay_verification.cpp"
  "$server/replay_checks.cpp" "$server/score_pages.cpp" "$src/base/cp1252.cpp"
  "$src/game/replay.cpp" "$src/game/rules_engine.cpp")
if [[ ! -x "$binary" || -n "$(find "${sources[@]}" "$server"/*.h "$src/scores/score_server_protocol.h" "$src/game"/*.h -newer "$binary")" ]]; then
  "$clang" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$server" -I"$src" $(pkg-config --cflags libpq) "${sources[@]}" -lsqlite3 -lpq -lz -lcrypto \
    -o "$binary"
fi
# Seeds: the two requests and a few malformed ones.
printf 'action=get' >"$work/corpus/get"
printf 'action=set&nom=Zo%%E9&tmp=0A0B1C2D3E4F5A5B6C7D8E' >"$work/corpus/set"
printf 'action=set&nom=&tmp=' >"$work/corpus/empty"
printf '%%&=+%%4' >"$work/corpus/percent"
printf 'action=seed' >"$work/corpus/seed"
printf 'action=set&nom=R&tmp=0A0B1C2D3E4F5A5B6C7D8E&rep=eJxjYGBgAAAABQAB' >"$work/corpus/replay"
"$binary" -max_total_time="$seconds" -max_len=8192 -timeout=5 -rss_limit_mb=1024 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus"
