#!/usr/bin/env bash
# A game played through the real window: countdown, the falling piece and its ghost, the
# moves, the next-piece preview, the stack after each drop (with line clears), Game Over,
# and Escape stopping a game. The well is read from screenshots, one cell at a time.
# KESTROW_E2E_SCREENSHOTS=DIR also saves start, countdown, play and gameover pictures there.
source "$(dirname "$0")/lib.sh" "$@"

SCREENSHOTS=${KESTROW_E2E_SCREENSHOTS:-}
keep_picture() { [[ -z $SCREENSHOTS ]] || save_window_png "$SHOT" "$SCREENSHOTS/$1.png"; }

piece_moved_from() { read_well; [[ $(set_size "$ACTIVE") == 4 && $ACTIVE != "$1" ]]; }
shape_is() { read_well; [[ $(set_size "$ACTIVE") == 4 && $(set_op shape "$ACTIVE") == "$1" ]]; }
shape_differs() {
  read_well
  [[ $(set_size "$ACTIVE") == 4 && $(set_op shape "$ACTIVE") != "$1" ]]
}
# The piece one column over, possibly also one row lower if it fell meanwhile.
moved_sideways() {
  read_well
  [[ $ACTIVE == "$(set_op move "$1" "" "$2" 0)" || $ACTIVE == "$(set_op move "$1" "" "$2" -1)" ]]
}
chrono_changed() { shoot; [[ $(chrono_sig) != "$1" ]]; }

# Drops the falling piece and checks that it rests where its ghost was, that full rows go,
# and that the next piece is the one the preview showed. Sets GAME_OVER=1 when the picture
# shows instead of a new piece.
drop_piece() {
  local preview landing expected
  GAME_OVER=0
  read_well
  # A piece with no room below locks at its first fall: on a slow machine that can end the
  # game before the drop is pressed.
  if game_over_shown; then
    GAME_OVER=1
    return
  fi
  preview=$(preview_shape "$SHOT")
  [[ -n $preview ]] || fail "no next piece in the preview box"
  landing=$(set_op land "$ACTIVE" "$STACK")
  [[ $(set_op subset "$GHOST" "$landing") == 1 ]] ||
    fail "the ghost ($GHOST) is not where the piece ($ACTIVE) would land ($landing)"
  expected=$(set_op settle "$(set_op union "$STACK" "$landing")")
  press_key Down
  local deadline=$(($(now_ms) + 5000))
  while true; do
    read_well
    if game_over_shown; then
      GAME_OVER=1
      return
    fi
    local fresh
    fresh=$(set_op minus "$BLOCKS" "$expected")
    if [[ $(set_op subset "$expected" "$BLOCKS") == 1 && $(set_size "$fresh") == 4 ]] &&
      (($(set_op top "$fresh") >= ROWS - 3)); then
      [[ $(set_op shape "$fresh") == "$preview" ]] ||
        fail "the new piece ($fresh) is not the one the preview showed ($preview)"
      STACK=$expected
      ACTIVE=$fresh
      return
    fi
    (($(now_ms) > deadline)) &&
      fail "after a drop the stack is not as expected: expected $expected plus a new piece, see $BLOCKS"
    sleep 0.1
  done
}

start_xvfb
start_kestrow

log "before a game: an empty well, preview and score"
shoot start
keep_picture start
[[ -z $(well_cells "$SHOT" | blocks) ]] || fail "blocks in the well before a game"
(($(count_pixels "$SHOT" 374 80 64 64 "$IS_DARK") == 0)) || fail "the preview box is not empty before a game"
(($(count_pixels "$SHOT" 457 118 110 30 "$IS_DARK") == 0)) || fail "the score box is not empty before a game"
start_chrono=$(chrono_sig)

log "Nouvelle partie: countdown, then a piece, its ghost, the preview and the score"
click_button new
move_to 580 300   # off the buttons, so that none is lit in the pictures
wait_until 3 "the countdown's digits in the well" screen_shows countdown_shown
keep_picture countdown
wait_until 5 "a piece at the top of the well" new_piece_shown
piece_shape=$(set_op shape "$ACTIVE")
expected_ghost=$(set_op land "$ACTIVE" "")
[[ $GHOST == "$expected_ghost" ]] || fail "ghost $GHOST, expected at the bottom: $expected_ghost"
preview_shown() { [[ -n $(preview_shape "$SHOT") ]]; }
score_shown() { (($(count_pixels "$SHOT" 457 118 110 30 "$IS_DARK") > 20)); }
chrono_shown() { [[ $(chrono_sig) != "$start_chrono" ]]; }
wait_until 2 "the next piece in the preview box" screen_shows preview_shown
wait_until 2 "a score in the score box" screen_shows score_shown
wait_until 2 "the chronometer's figures" screen_shows chrono_shown
keep_picture play

log "the chronometer runs"
first=$(chrono_sig)
wait_until 3 "the chronometer to change" chrono_changed "$first"

log "the piece falls about a row a second"
read_well
start_row=$(set_op bottom "$ACTIVE")
start_ms=$(now_ms)
last_row=$start_row
while (($(now_ms) - start_ms < 3500)); do
  sleep 0.25
  read_well
  (($(set_size "$ACTIVE") == 4)) || fail "the falling piece lost blocks: $ACTIVE"
  [[ $(set_op shape "$ACTIVE") == "$piece_shape" ]] || fail "the piece changed shape while falling"
  row=$(set_op bottom "$ACTIVE")
  ((row <= last_row)) || fail "the piece went up from row $last_row to $row"
  ((last_row - row <= 1)) || fail "the piece jumped from row $last_row to $row at once"
  last_row=$row
done
elapsed_ms=$(($(now_ms) - start_ms))
fallen=$((start_row - last_row))
# Between half and twice a row a second, with one row of slack for the phase.
((fallen * 2000 + 2000 >= elapsed_ms && fallen * 500 <= elapsed_ms + 1000)) ||
  fail "the piece fell $fallen rows in $elapsed_ms ms"

log "Left and Right move it, Shift pushes it one row down"
before=$ACTIVE
press_key Left
wait_until 2 "the piece one column to the left" moved_sideways "$before" -1
before=$ACTIVE
press_key Right
wait_until 2 "the piece one column to the right" moved_sideways "$before" 1
read_well
before_row=$(set_op bottom "$ACTIVE")
press_key Shift_L
wait_until 2 "the piece lower after Shift" piece_moved_from "$ACTIVE"
row=$(set_op bottom "$ACTIVE")
((before_row - row >= 1 && before_row - row <= 2)) ||
  fail "Shift moved the piece from row $before_row to $row instead of one row down"

# Up turns the piece and Control turns it back. Only a piece with four orientations (T, L, J)
# tells the two directions apart, so pieces are tried until one has them.
turns_checked=0
turns_told_apart=0
check_turns() {
  local s0 s1 s2
  s0=$(set_op shape "$ACTIVE")
  # An O piece looks the same every way round.
  [[ $s0 == "0,0 1,0 0,1 1,1" ]] && return 0
  press_key Up
  wait_until 2 "the piece turned by Up" shape_differs "$s0"
  s1=$(set_op shape "$ACTIVE")
  press_key Up
  wait_until 2 "the piece turned again by Up" shape_differs "$s1"
  s2=$(set_op shape "$ACTIVE")
  press_key Control_L
  wait_until 2 "Control to turn the piece back to $s1" shape_is "$s1"
  press_key Control_L
  wait_until 2 "Control to turn the piece back to $s0" shape_is "$s0"
  turns_checked=1
  [[ $s2 != "$s0" ]] && turns_told_apart=1
  return 0
}

log "drops until Game Over"
games=1
drops=0
GAME_OVER=0
while true; do
  if ((turns_told_apart == 0)) && (($(set_op top "$STACK") < 9)); then
    check_turns
  fi
  drop_piece
  drops=$((drops + 1))
  ((drops <= 100)) || fail "no Game Over after 100 drops"
  ((GAME_OVER == 0)) && continue
  log "Game Over after $drops drops"
  keep_picture gameover
  # The game has stopped: the chronometer stands still and keys change nothing.
  over=$SHOT
  sleep 1.2
  press_key Down Left Up
  sleep 0.5
  shoot
  [[ $(chrono_sig "$over") == $(chrono_sig) ]] || fail "the chronometer runs after Game Over"
  [[ $(region_sig "$over" $WELL_X $WELL_Y 290 522) == $(region_sig "$SHOT" $WELL_X $WELL_Y 290 522) ]] ||
    fail "the well changes after Game Over"
  ((turns_told_apart == 1)) && break
  # No piece with four orientations came along: play again.
  ((games < 4)) || fail "no T, L or J piece in $games games"
  games=$((games + 1))
  log "another game, to get a piece with four orientations"
  STACK=""
  click_button new
  wait_until 8 "a piece at the top of a new game's well" new_piece_shown
done
((turns_checked == 1)) || fail "no piece could be turned"

log "Escape during a game stops it without the Game Over picture"
STACK=""
click_button new
wait_until 8 "a piece at the top of a new game's well" new_piece_shown
log "game running; Escape"
first=$(chrono_sig)
wait_until 3 "the chronometer to change" chrono_changed "$first"
press_key Escape
# The chronometer stops: two readings a second apart are equal.
chrono_stopped() {
  shoot
  local a
  a=$(chrono_sig)
  sleep 1
  shoot
  [[ $(chrono_sig) == "$a" ]]
}
wait_until 5 "the chronometer to stop after Escape" chrono_stopped
log "stopped"
game_over_shown && fail "the Game Over picture shows after Escape"
window_mapped || fail "Escape during a game hid the window"
stopped=$SHOT
press_key Left Down
sleep 0.5
shoot
[[ $(region_sig "$stopped" $WELL_X $WELL_Y 290 522) == $(region_sig "$SHOT" $WELL_X $WELL_Y 290 522) ]] ||
  fail "keys still move pieces after Escape"

log "passed"
