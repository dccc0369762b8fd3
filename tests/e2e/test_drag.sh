#!/usr/bin/env bash
# Dragging the window by its frame: a press outside the well's rectangle (19,19)–(332,553)
# and off the buttons, a move and a release move the window by as much; a press in the well
# or on a button moves nothing.
source "$(dirname "$0")/lib.sh" "$@"

start_xvfb
start_kestrow

# drag X Y DX DY: presses at window point (X, Y), moves by (DX, DY) in steps, releases.
drag() {
  local x=$((WX + $1)) y=$((WY + $2)) dx=$3 dy=$4 i
  xdotool mousemove "$x" "$y"
  sleep 0.1
  xdotool mousedown 1
  sleep 0.1
  for i in 1 2 3 4; do
    xdotool mousemove $((x + dx * i / 4)) $((y + dy * i / 4))
    sleep 0.05
  done
  sleep 0.1
  xdotool mouseup 1
  sleep 0.3
}
position_is() {
  window_origin
  ((WX >= $1 - 2 && WX <= $1 + 2 && WY >= $2 - 2 && WY <= $2 + 2))
}
# expect_drag NAME X Y DX DY MOVES: drags and checks whether the window followed.
expect_drag() {
  local name=$1 x=$2 y=$3 dx=$4 dy=$5 moves=$6
  local x0=$WX y0=$WY
  log "$name: press at ($x, $y), move by ($dx, $dy)"
  drag "$x" "$y" "$dx" "$dy"
  if ((moves)); then
    wait_until 3 "the window moved by ($dx, $dy) from ($x0, $y0) after a drag from $name" \
      position_is $((x0 + dx)) $((y0 + dy))
  else
    sleep 0.5
    window_origin
    ((WX == x0 && WY == y0)) ||
      fail "a drag from $name moved the window from ($x0, $y0) to ($WX, $WY)"
  fi
}

expect_drag "the frame right of the panels" 580 300 40 30 1
expect_drag "the frame below the well" 170 560 -60 25 1
expect_drag "the score list" 450 300 -30 -50 1
expect_drag "the logo" 460 45 25 -20 1
expect_drag "the frame just left of the well" 16 300 10 10 1
expect_drag "the well" 150 300 40 30 0
expect_drag "the well's top-left corner" 21 21 40 30 0
expect_drag "the well's bottom-right corner" 330 551 40 30 0
expect_drag "the button Effacer la liste" 453 474 40 30 0
expect_drag "the button Effacer la liste's left end" 356 470 -40 -30 0

log "the moved window still shows its picture and lights its buttons"
move_to 453 "${BUTTON_Y[new]}"
lit() { shoot; local rgb; rgb=$(pixel "$SHOT" 362 446); local g=${rgb#* }; ((${g% *} > 200)); }
wait_until 3 "button Nouvelle partie lit at the window's new place" lit
[[ $(pixel "$SHOT" 100 300) != "0 0 0" ]] || fail "the well is not drawn at the window's new place"

log "a drag during a game moves the window and the game goes on"
click_button new
piece_shown() { window_origin; shoot; [[ $(set_size "$(well_cells "$SHOT" | blocks)") == 4 ]]; }
wait_until 6 "a piece in the well" piece_shown
expect_drag "the frame during a game" 580 300 -50 40 1
shoot
chrono=$(region_sig "$SHOT" 457 92 110 22)
chrono_changed() { shoot; [[ $(region_sig "$SHOT" 457 92 110 22) != "$chrono" ]]; }
wait_until 3 "the chronometer running after the drag" chrono_changed
wait_until 3 "the piece still in the well after the drag" piece_shown

log "during the countdown, a click on the frame followed by a pointer move leaves the window"
click 580 300
press_key Escape
click_button new
wait_until 3 "the countdown" screen_shows countdown_shown
x0=$WX y0=$WY
click 550 200
sleep 0.1
move_to 336 215
sleep 0.1
move_to 300 400
wait_until 6 "a piece in the well after the countdown" piece_shown
sleep 0.5
window_origin
((WX == x0 && WY == y0)) ||
  fail "pointer moves with no button held after a click on the frame during the countdown moved the window from ($x0, $y0) to ($WX, $WY)"

log "passed"
