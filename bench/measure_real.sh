#!/usr/bin/env bash
# Measures the real program on a private Xvfb, as a reviewer would, and prints a table:
#   - start to window mapped (median of MAP_RUNS runs, with shared/tools/mapwait.c),
#   - CPU of the program between games over SAMPLE_SECONDS (utime + stime from /proc),
#   - CPU during a game over SAMPLE_SECONDS, the program's plus the X server's,
#   - resident memory: the peak (VmHWM) and the current size (VmRSS).
# Usage: bench/measure_real.sh [path/to/kestrow]   (default: build/kestrow)
# Figures are printed, never judged: the targets stand beside them for reference.
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
KESTROW=${1:-$REPO/build/kestrow}
MAP_RUNS=${MAP_RUNS:-10}
SAMPLE_SECONDS=${SAMPLE_SECONDS:-20}
MAPWAIT_SOURCE=$REPO/../shared/tools/mapwait.c
[[ -x $KESTROW ]] || { echo "no program at $KESTROW (build it first: scripts/build)" >&2; exit 2; }
[[ -f $MAPWAIT_SOURCE ]] || { echo "no $MAPWAIT_SOURCE" >&2; exit 2; }

# The end-to-end helpers: private Xvfb, program start, clicks, screenshots, clean-up on exit.
source "$REPO/tests/e2e/lib.sh" "$KESTROW"
log() { echo "# $*" >&2; }

cc -O2 -o "$WORK/mapwait" "$MAPWAIT_SOURCE" -lX11
TICKS=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
percent() { awk -v t="$1" -v hz="$TICKS" -v s="$2" 'BEGIN {printf "%.2f", t / hz / s * 100}'; }

start_xvfb >&2

# 1. Start to mapped window: mapwait forks the program and reports the first map.
log "start to window mapped, $MAP_RUNS runs"
map_times=()
for ((run = 1; run <= MAP_RUNS; run++)); do
  out=$WORK/mapwait.out
  : >"$out"
  (cd "$WORK/home" && HOME=$WORK/home exec "$WORK/mapwait" 10 "$KESTROW_BIN") >"$out" 2>>"$WORK/kestrow.log" &
  mapwait_pid=$!
  for ((i = 0; i < 150; i++)); do
    [[ -s $out ]] && break
    sleep 0.1
  done
  read -r pid ms window <"$out" || { echo "mapwait gave nothing" >&2; exit 1; }
  kill -TERM "$pid" 2>/dev/null || true
  wait "$mapwait_pid" || true
  [[ $ms != -1* ]] || { echo "run $run: no window mapped within 10 s" >&2; exit 1; }
  map_times+=("$ms")
  log "  run $run: $ms ms (window $window)"
  sleep 0.3
done
map_median=$(printf '%s\n' "${map_times[@]}" | sort -n | awk '{v[NR] = $1} END {
  if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
map_range="$(printf '%s\n' "${map_times[@]}" | sort -n | sed -n '1p;$p' | paste -sd'-')"

# 2. Between games: the start screen, nothing touched.
start_kestrow >&2
move_to 300 300
sleep 3
log "CPU between games, $SAMPLE_SECONDS s"
p0=$(cpu_ticks "$KPID") x0=$(cpu_ticks "$XVFB_PID")
sleep "$SAMPLE_SECONDS"
p1=$(cpu_ticks "$KPID") x1=$(cpu_ticks "$XVFB_PID")
idle_program=$(percent $((p1 - p0)) "$SAMPLE_SECONDS")
idle_x=$(percent $((x1 - x0)) "$SAMPLE_SECONDS")

# 3. During a game: a move key now and then so the piece moves besides falling.
screen_shows() { shoot; "$@"; }
piece_shown() { shoot; [[ $(set_size "$(well_cells "$SHOT" | blocks)") == 4 ]]; }
start_game() {
  click_button new
  wait_until 8 "a piece in the well" piece_shown
}
start_game
play_program=""
for attempt in 1 2 3; do
  log "CPU during a game, $SAMPLE_SECONDS s (attempt $attempt)"
  p0=$(cpu_ticks "$KPID") x0=$(cpu_ticks "$XVFB_PID")
  t0=$(now_ms)
  keys=(Left Right Right Left Up Left Right Control_L)
  k=0
  while (($(now_ms) - t0 < SAMPLE_SECONDS * 1000)); do
    xdotool key "${keys[k % ${#keys[@]}]}"
    k=$((k + 1))
    sleep 0.7
  done
  p1=$(cpu_ticks "$KPID") x1=$(cpu_ticks "$XVFB_PID")
  elapsed=$(awk -v ms=$(($(now_ms) - t0)) 'BEGIN {print ms / 1000}')
  # Screenshots only after the sample, so that they do not load the X server during it.
  shoot
  if game_over_shown; then
    log "  the game ended during the sample: again with a new game"
    start_game
    continue
  fi
  play_program=$(percent $((p1 - p0)) "$elapsed")
  play_x=$(percent $((x1 - x0)) "$elapsed")
  play_total=$(awk -v a="$play_program" -v b="$play_x" 'BEGIN {printf "%.2f", a + b}')
  break
done
[[ -n $play_program ]] || { echo "every game ended during the sample" >&2; exit 1; }

# 4. Memory, after the game.
hwm_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$KPID/status")
rss_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$KPID/status")
mb() { awk -v kb="$1" 'BEGIN {printf "%.1f", kb / 1024}'; }

click_button quit
wait_exit 5

printf '\n%-44s %14s   %s\n' "measure" "value" "target"
printf '%-44s %14s   %s\n' "--------------------------------------------" "--------------" "--------"
printf '%-44s %11s ms   %s\n' "start to window mapped (median of $MAP_RUNS)" "$map_median" "<= 150 ms"
printf '%-44s %14s   %s\n' "  (fastest-slowest, ms)" "$map_range" ""
printf '%-44s %12s %%   %s\n' "CPU between games, program (${SAMPLE_SECONDS} s)" "$idle_program" "<= 0.3 %"
printf '%-44s %12s %%   %s\n' "  X server meanwhile" "$idle_x" ""
printf '%-44s %12s %%   %s\n' "CPU in a game, program + X server" "$play_total" "<= 3 %"
printf '%-44s %12s %%   %s\n' "  program alone" "$play_program" ""
printf '%-44s %12s %%   %s\n' "  X server alone" "$play_x" ""
printf '%-44s %11s MB   %s\n' "resident memory, peak (VmHWM)" "$(mb "$hwm_kb")" "<= 60 MB"
printf '%-44s %11s MB   %s\n' "  resident memory at the end (VmRSS)" "$(mb "$rss_kb")" ""
