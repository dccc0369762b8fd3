# Helpers for the end-to-end tests: a private X server, the program in it, input through
# xdotool, screenshots and pixel reads, bounded polling. Sourced by each test_*.sh as
#   source "$(dirname "$0")/lib.sh" "$@"     (first argument: the kestrow binary)
# Coordinates given to the helpers are relative to the main window's top-left corner.

set -euo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TEST_NAME=$(basename "$0" .sh)
KESTROW_BIN=${1:-}
if [[ -z $KESTROW_BIN ]]; then
  echo "usage: bash $0 /path/to/kestrow" >&2
  exit 2
fi
[[ -x $KESTROW_BIN ]] || { echo "FAIL: no program at $KESTROW_BIN (build the kestrow target)" >&2; exit 1; }
KESTROW_BIN=$(realpath "$KESTROW_BIN")
for tool in Xvfb xdotool xwininfo xprop xdpyinfo import convert; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrow-$TEST_NAME.XXXXXX")
mkdir -p "$WORK/home"
XVFB_PID=""
KPID=""         # the program under test
WIN=""          # its 600 × 600 window
WX=0 WY=0       # that window's position on the screen
SHOT=""         # the last screenshot taken
_SHOT_COUNT=0
_CHILDREN=()    # other processes started by the test, stopped on exit
_FAILED=0

log() { echo "[$TEST_NAME $(date +%T)] $*"; }

# Stops the test with a message, a final screenshot and the program's output.
fail() {
  _FAILED=1
  echo "FAIL: $TEST_NAME: $*" >&2
  if [[ -n $XVFB_PID ]] && kill -0 "$XVFB_PID" 2>/dev/null; then
    import -display "$DISPLAY" -window root "$WORK/failure.png" 2>/dev/null &&
      echo "  screen at failure: $WORK/failure.png" >&2
  fi
  if [[ -s $WORK/kestrow.log ]]; then
    echo "  program output (last lines):" >&2
    tail -n 20 "$WORK/kestrow.log" | sed 's/^/    /' >&2
  fi
  exit 1
}

_stop_pid() {
  local pid=$1 i
  kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for ((i = 0; i < 30; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

_cleanup() {
  local status=$?
  set +e
  trap - EXIT INT TERM
  [[ -n $KPID ]] && _stop_pid "$KPID"
  local pid
  for pid in "${_CHILDREN[@]}"; do _stop_pid "$pid"; done
  [[ -n $XVFB_PID ]] && _stop_pid "$XVFB_PID"
  # Anything else this shell still has running in the background.
  for pid in $(jobs -p); do _stop_pid "$pid"; done
  if [[ $status -eq 0 && $_FAILED -eq 0 && -z ${KEEP_E2E_FILES:-} ]]; then
    rm -rf "$WORK"
  else
    echo "  files kept in $WORK" >&2
  fi
  exit "$status"
}
trap _cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# wait_until SECONDS DESCRIPTION COMMAND...: runs COMMAND every 0.1 s until it succeeds;
# fails the test with DESCRIPTION when it has not after SECONDS.
wait_until() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$(($(date +%s%N) / 1000000 + seconds * 1000))
  while true; do
    if "$@"; then return 0; fi
    if (($(date +%s%N) / 1000000 > deadline)); then
      fail "timed out after ${seconds} s waiting for: $what"
    fi
    sleep 0.1
  done
}

# poll SECONDS COMMAND...: like wait_until but returns 1 instead of failing.
poll() {
  local seconds=$1
  shift
  local deadline=$(($(date +%s%N) / 1000000 + seconds * 1000))
  while true; do
    if "$@"; then return 0; fi
    (($(date +%s%N) / 1000000 > deadline)) && return 1
    sleep 0.1
  done
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts a private X server on a free display and points DISPLAY at it; its screen is
# $XVFB_SCREEN (default 1024x768x24).
start_xvfb() {
  local fdfile=$WORK/displayfd
  : >"$fdfile"
  Xvfb -displayfd 9 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
    9>"$fdfile" >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local deadline=$(($(now_ms) + 10000))
  while [[ ! -s $fdfile ]]; do
    kill -0 "$XVFB_PID" 2>/dev/null || { cat "$WORK/xvfb.log" >&2; fail "Xvfb did not start"; }
    (($(now_ms) > deadline)) && fail "Xvfb gave no display number"
    sleep 0.05
  done
  export DISPLAY=":$(tr -dc 0-9 <"$fdfile")"
  wait_until 10 "Xvfb on $DISPLAY answers" xdpyinfo_quiet
  log "Xvfb on $DISPLAY (pid $XVFB_PID)"
}
xdpyinfo_quiet() { xdpyinfo >/dev/null 2>&1; }

# Runs COMMAND in the background on the private display; stopped when the test ends.
start_child() {
  "$@" >>"$WORK/children.log" 2>&1 &
  _CHILDREN+=($!)
  LAST_CHILD=$!
}

# The program's 600 × 600 window titled "Kestrow" (GTK also makes a small leader window); on a
# display of scale N it has $WINDOW_SIDE = 600 × N device pixels a side.
_find_window() {
  local w geometry side=${WINDOW_SIDE:-600}
  for w in $(xdotool search --onlyvisible --name '^Kestrow$' 2>/dev/null); do
    geometry=$(xwininfo -id "$w" 2>/dev/null | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
    if [[ $geometry == "${side}x${side}" ]]; then
      WIN=$w
      return 0
    fi
  done
  return 1
}
_window_found() {
  kill -0 "$KPID" 2>/dev/null || fail "the program exited before its window showed"
  _find_window
}

# Starts the program and waits until its main window is mapped; sets KPID, WIN, WX, WY.
start_kestrow() {
  # The program keeps its files (scores, settings, video) in its working directory: a fresh one
  # per test, so that no test sees what another left.
  (cd "$WORK/home" && HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config \
    XDG_DATA_HOME=$WORK/home/.local/share exec "$KESTROW_BIN") >>"$WORK/kestrow.log" 2>&1 &
  KPID=$!
  WIN=""
  wait_until 10 "the program's 600 × 600 window" _window_found
  window_origin
  log "program pid $KPID, window $WIN at ($WX, $WY)"
}

# Waits up to SECONDS for the program to end; sets EXIT_CODE (124 when it did not end).
wait_exit() {
  local seconds=$1 i
  EXIT_CODE=124
  for ((i = 0; i < seconds * 10; i++)); do
    if ! kill -0 "$KPID" 2>/dev/null || [[ $(awk '{print $3}' "/proc/$KPID/stat" 2>/dev/null) == Z ]]; then
      EXIT_CODE=0
      wait "$KPID" || EXIT_CODE=$?
      KPID=""
      return 0
    fi
    sleep 0.1
  done
}

# Sets WX, WY to the main window's current position on the screen.
window_origin() {
  read -r WX WY < <(xwininfo -id "$WIN" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{print x, y}')
}

# The program's other shown top-level windows (dialogs, help): their ids, one a line.
program_dialogs() {
  local w
  for w in $(xwininfo -root -children | awk '/^ +0x/ {print $1}'); do
    (($(printf '%d' "$w") == WIN)) && continue
    [[ $(map_state "$w") == IsViewable ]] || continue
    [[ $(xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{print $3}') == "$KPID" ]] && echo "$w"
  done
  return 0
}

map_state() { xwininfo -id "$1" 2>/dev/null | awk '/Map State:/{print $3}'; }
window_mapped() { [[ $(map_state "$WIN") == IsViewable ]]; }
window_unmapped() { [[ $(map_state "$WIN") == IsUnMapped ]]; }

# Input. Positions are window coordinates.
move_to() { xdotool mousemove $((WX + $1)) $((WY + $2)); }
click() { xdotool mousemove $((WX + $1)) $((WY + $2)) click "${3:-1}"; }
press_key() { xdotool key --delay 40 "$@"; }

# Button centres.
BUTTON_X=453
declare -A BUTTON_Y=([new]=452 [clear]=474 [prefs]=496 [help]=518 [quit]=540)
click_button() { click "$BUTTON_X" "${BUTTON_Y[$1]}"; }

# Takes a screenshot of the whole screen into $WORK; SHOT names the file.
shoot() {
  _SHOT_COUNT=$((_SHOT_COUNT + 1))
  SHOT=$WORK/shot-$(printf %04d $_SHOT_COUNT)${1:+-$1}.png
  import -window root "$SHOT" || fail "screenshot failed"
}

# Saves the window's 600 × 600 area of screenshot FILE as PNG OUT.
save_window_png() { convert "$1" -crop 600x600+$WX+$WY +repage "$2"; }

# pixel FILE X Y: prints "R G B" (0..255) of a window pixel.
pixel() {
  convert "$1" -crop 1x1+$((WX + $2))+$((WY + $3)) -depth 8 txt:- |
    awk -F'[ ,:()]+' 'NR == 2 {print $3, $4, $5}'
}

# near X Y DESCRIPTION "R G B" [TOLERANCE (default 40)]: fails unless the window pixel (X, Y) of
# the last screenshot has about that colour.
near() {
  local got expected=$4 tolerance=${5:-40}
  got=$(pixel "$SHOT" "$1" "$2")
  awk -v got="$got" -v want="$expected" -v t="$tolerance" 'BEGIN {
    split(got, a, " "); split(want, b, " ")
    for (i = 1; i <= 3; i++) { d = a[i] - b[i]; if (d < -t || d > t) exit 1 } }' ||
    fail "pixel ($1, $2), $3, is ($got), expected about ($expected)"
}

# region_sig FILE X Y W H: a signature of a rectangle's pixels, equal when they are equal.
region_sig() {
  convert "$1" -crop "$4x$5+$((WX + $2))+$((WY + $3))" +repage -format '%#' info:
}

# count_pixels FILE X Y W H CONDITION [PERCENT]: how many pixels of the rectangle satisfy
# the awk CONDITION on r, g, b; with PERCENT, among the rectangle sampled down to that size.
count_pixels() {
  convert "$1" -crop "$4x$5+$((WX + $2))+$((WY + $3))" +repage ${7:+-sample $7%} -depth 8 txt:- |
    awk -F'[ ,:()]+' "NR > 1 { r = \$3; g = \$4; b = \$5; if ($6) n++ } END { print n + 0 }"
}

# The well: 10 columns × 18 rows of 29 px cells from (31, 24); row 0 at the bottom.
WELL_X=31 WELL_Y=24 CELL=29 COLUMNS=10 ROWS=18

# well_cells FILE: one line "COLUMN ROW KIND" per non-empty cell, KIND "#" for a block
# (a falling piece or the stack) and "g" for the ghost (faint grey). Reads each cell's centre.
well_cells() {
  convert "$1" -crop "$((COLUMNS * CELL))x$((ROWS * CELL))+$((WX + WELL_X))+$((WY + WELL_Y))" +repage \
    -define sample:offset=50 -sample "${COLUMNS}x${ROWS}" -depth 8 txt:- |
    awk -F'[ ,:()]+' -v rows=$ROWS 'NR > 1 {
      c = $1; row = rows - 1 - $2; r = $3; g = $4; b = $5
      max = r; if (g > max) max = g; if (b > max) max = b
      if (max >= 120) print c, row, "#"
      else if (r >= 40 && r <= 110) print c, row, "g"
    }'
}

# Cell sets are words "COLUMN,ROW" separated by spaces, sorted by row then column.
# blocks / ghost: the set of one kind of cell from a well_cells listing on stdin.
blocks() { awk '$3 == "#" {print $1 "," $2}' | _sorted_set; }
ghost() { awk '$3 == "g" {print $1 "," $2}' | _sorted_set; }
_sorted_set() { sort -t, -k2,2n -k1,1n | tr '\n' ' ' | sed 's/ $//'; }
set_size() { local -a words; read -ra words <<<"$1"; echo ${#words[@]}; }

# set_op OPERATION A [B] [ARGUMENTS]: set arithmetic on cell sets.
#   minus A B: cells of A not in B        union A B: cells of A or B
#   subset A B: prints 1 when A ⊆ B       move A B DC DR: A moved by DC columns, DR rows
#   land A B: A moved down until it rests on B or on the floor
#   settle A: A without its full rows, the rows above moved down (a line clear)
#   shape A: A moved so that its lowest column and row are 0      top A / bottom A: rows
set_op() {
  awk -v op="$1" -v A="$2" -v B="${3:-}" -v dc="${4:-0}" -v dr="${5:-0}" -v columns=$COLUMNS '
    function load(text, set,   n, w, i) { n = split(text, w, " "); for (i = 1; i <= n; i++) set[w[i]] = 1; return n }
    function emit(set,   k, n, out, i, p) {
      n = 0; for (k in set) out[++n] = k
      # insertion sort by row then column
      for (i = 2; i <= n; i++) { k = out[i]; p = i - 1
        while (p >= 1 && before(k, out[p])) { out[p + 1] = out[p]; p-- }
        out[p + 1] = k }
      s = ""; for (i = 1; i <= n; i++) s = s (i > 1 ? " " : "") out[i]; print s }
    function before(x, y,   a, b) { split(x, a, ","); split(y, b, ",")
      return a[2] + 0 < b[2] + 0 || (a[2] + 0 == b[2] + 0 && a[1] + 0 < b[1] + 0) }
    function moved(src, dst, mc, mr,   k, p) { for (k in src) { split(k, p, ","); dst[(p[1] + mc) "," (p[2] + mr)] = 1 } }
    function fits(set, other,   k, p) { for (k in set) { split(k, p, ","); if (p[2] < 0 || (k in other)) return 0 } return 1 }
    BEGIN {
      na = load(A, a); load(B, b)
      if (na == 0 && (op == "top" || op == "bottom")) { print -1; exit }
      if (op == "minus") { for (k in a) if (!(k in b)) r[k] = 1; emit(r) }
      else if (op == "union") { for (k in a) r[k] = 1; for (k in b) r[k] = 1; emit(r) }
      else if (op == "subset") { ok = 1; for (k in a) if (!(k in b)) ok = 0; print ok }
      else if (op == "move") { moved(a, r, dc, dr); emit(r) }
      else if (op == "land") {
        if (na == 0) { print ""; exit }
        for (d = 0; ; d--) { delete t; moved(a, t, 0, d - 1); if (!fits(t, b)) break }
        moved(a, r, 0, d); emit(r) }
      else if (op == "settle") {
        for (k in a) { split(k, p, ","); count[p[2] + 0]++ }
        for (k in a) { split(k, p, ","); if (count[p[2] + 0] == columns) continue
          below = 0; for (row in count) if (row + 0 < p[2] + 0 && count[row] == columns) below++
          r[p[1] "," (p[2] - below)] = 1 }
        emit(r) }
      else if (op == "shape" || op == "top" || op == "bottom") {
        first = 1
        for (k in a) { split(k, p, ","); if (first || p[1] < mc) mc = p[1] + 0; if (first || p[2] < mr) mr = p[2] + 0
          if (first || p[2] > Mr) Mr = p[2] + 0; first = 0 }
        if (op == "top") print Mr; else if (op == "bottom") print mr
        else { moved(a, r, -mc, -mr); emit(r) } }
    }'
}

# The next-piece preview: squares on a 16 px pitch in the box (374,80)–(438,144).
# preview_shape FILE: its shape as a cell set (lowest column and row 0).
preview_shape() {
  convert "$1" -crop 64x64+$((WX + 374))+$((WY + 80)) +repage -depth 8 txt:- |
    awk -F'[ ,:()]+' 'NR > 1 && $3 + $4 + $5 < 200 { n++; x[n] = $1; y[n] = $2 }
      END {
        if (n == 0) exit
        mx = x[1]; my = y[1]; My = y[1]
        for (i = 2; i <= n; i++) { if (x[i] < mx) mx = x[i]; if (y[i] < my) my = y[i]; if (y[i] > My) My = y[i] }
        for (i = 1; i <= n; i++) {
          dx = x[i] - mx; dy = y[i] - my
          if (dx % 16 == 7 && dy % 16 == 7) print int(dx / 16) "," int((My - my) / 16) - int(dy / 16)
        }
      }' | _sorted_set
}

# Colour tests for count_pixels.
IS_DARK='r + g + b < 200'
IS_GAMEOVER_YELLOW='r > 220 && g > 170 && b < 150'
IS_GAMEOVER_BROWN='r > 50 && r < 160 && g < 100 && b < 60 && r > 1.5 * g'
IS_COUNTDOWN_YELLOW='r > 80 && g > 80 && b < 80 && r > 2 * b'

# The "Game Over" picture (234 × 149 at (60, 200)): yellow letters with a brown outline,
# read on every other pixel.
game_over_shown() {
  local counts
  counts=$(convert "${1:-$SHOT}" -crop "234x149+$((WX + 60))+$((WY + 200))" +repage -sample 50% \
    -depth 8 txt:- | awk -F'[ ,:()]+' "NR > 1 { r = \$3; g = \$4; b = \$5
      if ($IS_GAMEOVER_YELLOW) y++; else if ($IS_GAMEOVER_BROWN) o++ } END { print y + 0, o + 0 }")
  local yellow=${counts% *} brown=${counts#* }
  ((yellow > 500 && brown > 250))
}
# Countdown digits: large yellow figures in the well (read on one pixel in four each way).
countdown_shown() {
  (($(count_pixels "${1:-$SHOT}" $WELL_X $WELL_Y 290 522 "$IS_COUNTDOWN_YELLOW" 25) > 150))
}

# The chronometer's box and the score's.
chrono_sig() { region_sig "${1:-$SHOT}" 457 92 110 22; }
score_sig() { region_sig "${1:-$SHOT}" 457 118 110 30; }

# screen_shows CHECK...: takes a screenshot and runs CHECK on it.
screen_shows() { shoot; "$@"; }

# Following a game: STACK holds the blocks at rest (kept by the test), read_well takes a
# screenshot and sets BLOCKS, GHOST and ACTIVE (the blocks not in STACK: the falling piece).
STACK=""
ACTIVE=""
read_well() {
  shoot "$@"
  local cells
  cells=$(well_cells "$SHOT")
  BLOCKS=$(blocks <<<"$cells")
  GHOST=$(ghost <<<"$cells")
  ACTIVE=$(set_op minus "$BLOCKS" "$STACK")
}
# A new piece of four blocks at the top, over exactly the stack that was there.
new_piece_shown() {
  read_well
  [[ $(set_op subset "$STACK" "$BLOCKS") == 1 && $(set_size "$ACTIVE") == 4 ]] &&
    (($(set_op top "$ACTIVE") >= ROWS - 3))
}
