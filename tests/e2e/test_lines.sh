#!/usr/bin/env bash
# Full rows: a simple player places each piece where it leaves the flattest stack, until rows
# are completed. After every drop the well must hold exactly the expected stack (full rows
# gone, the rows above moved down) plus the new piece; the score changes when rows go and only
# then. KESTROW_E2E_SCREENSHOTS=DIR saves a picture of a row flash there when one is caught.
source "$(dirname "$0")/lib.sh" "$@"

SCREENSHOTS=${KESTROW_E2E_SCREENSHOTS:-}
WANTED_CLEARS=2

# The four turns of a shape (a cell set), normalised, separated by ";".
rotations() {
  local shape=$1 out="" i
  for i in 0 1 2 3; do
    out+="$shape;"
    shape=$(set_op shape "$(awk -v A="$shape" 'BEGIN { n = split(A, w, " ")
      for (i = 1; i <= n; i++) { split(w[i], p, ","); printf "%s%d,%d", (i > 1 ? " " : ""), p[2], -p[1] } }')")
  done
  echo "${out%;}"
}

# best_place SHAPES: "K X" for the turn K (1-based) and leftmost column X that leave the best
# stack (few holes, low and even, full rows welcome), all on the well's model.
best_place() {
  awk -v S="$STACK" -v shapes="$1" -v columns=$COLUMNS -v rows=$ROWS 'BEGIN {
    n = split(S, w, " "); for (i = 1; i <= n; i++) stack[w[i]] = 1
    count = split(shapes, shape, ";"); best = -1e9
    for (k = 1; k <= count; k++) {
      m = split(shape[k], cw, " "); width = 0
      for (i = 1; i <= m; i++) { split(cw[i], p, ","); pc[i] = p[1] + 0; pr[i] = p[2] + 0
        if (pc[i] + 1 > width) width = pc[i] + 1 }
      for (x = 0; x <= columns - width; x++) {
        y = rows + 2
        while (1) { ok = 1
          for (i = 1; i <= m; i++) { r = pr[i] + y - 1; if (r < 0 || ((pc[i] + x) "," r) in stack) { ok = 0; break } }
          if (!ok) break; y-- }
        delete b; for (key in stack) b[key] = 1; top = 0
        for (i = 1; i <= m; i++) { b[(pc[i] + x) "," (pr[i] + y)] = 1; if (pr[i] + y > top) top = pr[i] + y }
        if (top >= rows - 3) continue
        delete full; for (key in b) { split(key, p, ","); full[p[2] + 0]++ }
        lines = 0; for (r in full) if (full[r] == columns) lines++
        holes = 0; aggregate = 0; bumps = 0
        for (c = 0; c < columns; c++) {
          h[c] = 0
          for (r = rows - 1; r >= 0; r--) if ((c "," r) in b && full[r] < columns) { h[c] = r + 1; break }
          for (r = h[c] - 1; r >= 0; r--) if (!((c "," r) in b) && full[r] < columns) holes++
          aggregate += h[c]; if (c > 0) bumps += (h[c] > h[c - 1] ? h[c] - h[c - 1] : h[c - 1] - h[c])
        }
        score = -0.51 * aggregate + 2.3 * lines - 0.72 * holes - 0.18 * bumps
        if (score > best) { best = score; bestK = k; bestX = x }
      }
    }
    if (bestK) print bestK, bestX }'
}

leftmost() { awk -v A="$1" 'BEGIN { n = split(A, w, " "); m = 99
  for (i = 1; i <= n; i++) { split(w[i], p, ","); if (p[1] + 0 < m) m = p[1] + 0 } print m }'; }
# A whole row of bright yellow cells: the flash of a full row.
flash_shown() {
  well_cells_rgb "$1" | awk '{ row[$2] += ($3 > 240 && $4 > 240 && $5 < 60) }
    END { for (r in row) if (row[r] == 10) found = 1; exit !found }'
}
well_cells_rgb() {
  convert "$1" -crop "$((COLUMNS * CELL))x$((ROWS * CELL))+$((WX + WELL_X))+$((WY + WELL_Y))" +repage \
    -define sample:offset=50 -sample "${COLUMNS}x${ROWS}" -depth 8 txt:- |
    awk -F'[ ,:()]+' 'NR > 1 { print $1, $2, $3, $4, $5 }'
}
shape_is() { read_well; [[ $(set_size "$ACTIVE") == 4 && $(set_op shape "$ACTIVE") == "$1" ]]; }
column_is() { read_well; [[ $(set_size "$ACTIVE") == 4 && $(leftmost "$ACTIVE") == "$1" ]]; }

start_xvfb
start_kestrow

start_game() {
  STACK=""
  click_button new
  move_to 580 300   # off the buttons
  wait_until 6 "a piece at the top of the well" new_piece_shown
  SCORE=$(score_sig)
}
start_game

clears=0
games=1
for ((drop = 1; drop <= 80; drop++)); do
  turns=$(rotations "$(set_op shape "$ACTIVE")")
  read -r k x < <(best_place "$turns") || true
  if [[ -z ${k:-} ]]; then
    ((games < 3)) || fail "no room for pieces in $games games"
    log "no room left: a new game"
    press_key Escape
    games=$((games + 1))
    start_game
    continue
  fi
  IFS=';' read -r -a turn_list <<<"$turns"
  target=${turn_list[k - 1]}
  for ((t = 0; t < 4; t++)); do
    [[ $(set_op shape "$ACTIVE") == "$target" ]] && break
    press_key Up
    poll 1 shape_is "$target" || true
  done
  [[ $(set_op shape "$ACTIVE") == "$target" ]] || fail "Up never turned the piece to $target"
  column=$(leftmost "$ACTIVE")
  while ((column != x)); do
    if ((column > x)); then press_key Left; else press_key Right; fi
    wait_until 2 "the piece in column $((column > x ? column - 1 : column + 1))" \
      column_is $((column > x ? column - 1 : column + 1))
    column=$(leftmost "$ACTIVE")
  done

  landing=$(set_op land "$ACTIVE" "$STACK")
  merged=$(set_op union "$STACK" "$landing")
  expected=$(set_op settle "$merged")
  cleared=$((($(set_size "$merged") - $(set_size "$expected")) / COLUMNS))
  press_key Down
  if ((cleared > 0)); then
    log "drop $drop clears $cleared row(s)"
    # The rows flash briefly before they go: a few quick screenshots catch it or not, so it
    # is only reported (and kept when asked for).
    for f in 1 2 3 4; do
      shoot "flash$drop-$f"
      if flash_shown "$SHOT"; then
        log "  caught the flash"
        [[ -n $SCREENSHOTS ]] && save_window_png "$SHOT" "$SCREENSHOTS/flash.png"
        break
      fi
    done
  fi
  STACK=$expected
  # Once the stack settles, it is the expected one with a new piece over it.
  if ! poll 5 new_piece_shown; then
    read_well
    game_over_shown && fail "Game Over with room left in the well (stack $STACK)"
    fail "after drop $drop the well is not the expected stack $STACK plus a new piece: $BLOCKS"
  fi
  score_changed() { shoot; [[ $(score_sig) != "$SCORE" ]]; }
  if ((cleared > 0)); then
    wait_until 3 "the score to change after $cleared full row(s)" score_changed
    clears=$((clears + 1))
  else
    [[ $(score_sig) == "$SCORE" ]] || fail "the score changed after drop $drop, which filled no row"
  fi
  SCORE=$(score_sig)
  ((clears >= WANTED_CLEARS)) && break
done
((clears >= WANTED_CLEARS)) || fail "only $clears clearing drops in $drop drops"

log "passed"
