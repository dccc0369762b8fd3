#!/usr/bin/env bash
# Start-up against a bare GTK 3 window, measured side by side in one run: both programs are
# started N times each, alternating, on a private Xvfb without a window manager; each start gives
# the time from exec to the first map of its 600 x 600 window and the resident memory 1 s later.
# Prints the medians and the ratios. The bare window runs with GDK_GL=disable, as the game sets
# for itself, so that neither loads the GL driver. Usage: bench/startup.sh BUILD_DIR [N (default 15)]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench/startup.sh BUILD_DIR [N]}" && pwd)
count=${2:-15}
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT

cc -O2 -o "$work/bare" "$here/bare_gtk_window.c" $(pkg-config --cflags --libs gtk+-3.0)
cc -O2 -o "$work/map_timer" "$here/map_timer.c" -lX11

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
while [[ ! -s $work/display ]]; do sleep 0.05; done
export DISPLAY=":$(tr -dc 0-9 <"$work/display")"

# The game keeps its files in its working directory: a fresh one, with internet scores off so
# that no start-up fetch is made.
mkdir -p "$work/home"
printf 'Bench\r\n1|1|0|0\r\n39|37|38|17|40|16\r\n' >"$work/home/Scores.zorvik"

for ((i = 0; i < count; i++)); do
  GDK_GL=disable "$work/map_timer" 1000 "$work/bare" >>"$work/bare.txt" 2>>"$work/errors.log"
  (cd "$work/home" && "$work/map_timer" 1000 "$build/kestrow") >>"$work/kestrow.txt" 2>>"$work/errors.log"
done

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
bare_ms=$(awk '{print $1}' "$work/bare.txt" | median)
game_ms=$(awk '{print $1}' "$work/kestrow.txt" | median)
bare_kb=$(awk '{print $2}' "$work/bare.txt" | median)
game_kb=$(awk '{print $2}' "$work/kestrow.txt" | median)
awk -v bm="$bare_ms" -v gm="$game_ms" -v bk="$bare_kb" -v gk="$game_kb" -v n="$count" 'BEGIN {
  printf "%-22s %14s %12s\n", "program", "start->map ms", "resident MB"
  printf "%-22s %14.1f %12.1f\n", "bare GTK 3 window", bm, bk / 1024
  printf "%-22s %14.1f %12.1f\n", "kestrow", gm, gk / 1024
  printf "ratio of start times %.2f, extra memory %.1f MB (%d starts each)\n", gm / bm, (gk - bk) / 1024, n
}'
