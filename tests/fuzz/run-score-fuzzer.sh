#!/usr/bin/env bash
# Builds the libFuzzer target of the score file's reading and writing with clang and runs it.
# Usage: run-score-fuzzer.sh [SECONDS (default 600)] [WORK_DIR (default /tmp/kestrow-score-fuzz)]
source "$(dirname "$0")/fuzz_build.sh" /tmp/kestrow-score-fuzz score_file_fuzzer "$@"
build_fuzzer "$here/score_file_fuzzer.cpp" "$src/scores/score_file_format.cpp" \
  "$src/base/score_table.cpp" -- "$src/scores/score_file_format.h" "$src/base/score_table.h" \
  "$src/game/playfield.h" "$src/platform/windows.h" "$src/scores/score_server_protocol.h"
# Seeds: a file as the game writes it, one with CR-only line ends, a short one, and odd numbers.
printf 'Joueur\r\n1|1|1|0\r\n39|37|38|17|40|16\r\nJoueur|71469\r\n' >"$work/corpus/written"
for ((row = 1; row < 16; row++)); do printf '|6513507\r\n' >>"$work/corpus/written"; done
printf 'Zoe\r0|1|0|1\r1|2|3|4|5|6\rAl|300\rBea|400\r' >"$work/corpus/cr"
printf 'x\n0\n' >"$work/corpus/short"
printf 'a|b\0c\r\n256|-1| +2|\t-0\r\n-2147483648|4294967295|+|-|99999999999|7x\r\nNoBar\r\n|77\r\na|b|c\r\n' \
  >"$work/corpus/numbers"
"$binary" -max_total_time="$seconds" -max_len=4096 -timeout=5 -rss_limit_mb=1024 \
  -dict="$here/score_file.dict" -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus"
