#!/usr/bin/env bash
# A game played with a game controller on the real window: a virtual pad (virtual_pad_shim,
# preloaded into the program) is plugged in once the window shows; Start begins a game, the
# D-pad and the buttons move, turn, push down and drop the falling piece, a held D-pad left or
# right repeats, and Back stops the game as Escape does. The well is read from screenshots.
# KESTROW_PAD_SHIM names the shim library (the test's environment in CTest gives it).
source "$(dirname "$0")/lib.sh" "$@"

SHIM=${KESTROW_PAD_SHIM:-$(dirname "$KESTROW_BIN")/tests/libvirtual_pad_shim.so}
[[ -f $SHIM ]] || fail "no virtual pad library at $SHIM (build the virtual_pad_shim target)"

# The program started with the shim preloaded, through a wrapper that keeps its process id. With
# no pad device on the machine the program would not start its controllers: naming a device for
# SDL (one that is no joystick) makes it start them all the same.
mkfifo "$WORK/pad.fifo"
: >"$WORK/pad.status"
cat >"$WORK/kestrow-with-pad" <<EOF
#!/bin/sh
SDL_JOYSTICK_DEVICE=/dev/null LD_PRELOAD="$SHIM" KESTROW_PAD_FIFO="$WORK/pad.fifo" KESTROW_PAD_STATUS="$WORK/pad.status" exec "$KESTROW_BIN" "\$@"
EOF
chmod +x "$WORK/kestrow-with-pad"
KESTROW_BIN=$WORK/kestrow-with-pad

# pad COMMAND: hands a command to the shim and waits until it is done (see virtual_pad_shim.c).
PAD_DONE=0
pad_answered() { (($(wc -l <"$WORK/pad.status") > PAD_DONE)); }
pad() {
  echo "$*" >&7
  wait_until 90 "the pad to do \"$*\"" pad_answered
  PAD_DONE=$((PAD_DONE + 1))
  local answer
  answer=$(sed -n "${PAD_DONE}p" "$WORK/pad.status")
  [[ $answer == "ok $*" ]] || fail "pad: $answer"
}

columns_of() { tr ' ' '\n' <<<"$1" | cut -d, -f1 | sort -n | uniq | tr '\n' ' '; }
left_column() { columns_of "$1" | awk '{print $1}'; }
right_column() { columns_of "$1" | awk '{print $NF}'; }
# The piece DC columns over, and as many rows lower as it fell meanwhile.
moved_sideways() {
  read_well
  (($(set_size "$ACTIVE") == 4)) || return 1
  local fell=$(($(set_op bottom "$ACTIVE") - $(set_op bottom "$1")))
  ((fell <= 0)) && [[ $ACTIVE == "$(set_op move "$1" "" "$2" "$fell")" ]]
}
shape_is() { read_well; [[ $(set_size "$ACTIVE") == 4 && $(set_op shape "$ACTIVE") == "$1" ]]; }
shape_differs() { read_well; [[ $(set_size "$ACTIVE") == 4 && $(set_op shape "$ACTIVE") != "$1" ]]; }
# The piece of shape held_shape with its EDGE (left_column or right_column) at COLUMN.
at_column() {
  read_well
  [[ $(set_size "$ACTIVE") == 4 && $(set_op shape "$ACTIVE") == "$held_shape" && $($2 "$ACTIVE") == "$1" ]]
}
# The dropped piece at rest where it lands, and a new piece at the top, lower by a row for each
# second since PRESS_MS as it falls on its own.
dropped() {
  read_well
  local fresh
  fresh=$(set_op minus "$BLOCKS" "$1")
  [[ $(set_op subset "$1" "$BLOCKS") == 1 && $(set_size "$fresh") == 4 ]] &&
    (($(set_op top "$fresh") >= ROWS - 3 - ($(now_ms) - PRESS_MS) / 1000))
}
# D-pad down: the piece at rest where it lands, full rows gone, and a new piece at the top. With
# "checked", also that it got there faster than it falls on its own (a row a second).
drop_with_pad() {
  local landing expected rows elapsed_ms
  landing=$(set_op land "$ACTIVE" "$STACK")
  expected=$(set_op settle "$(set_op union "$STACK" "$landing")")
  rows=$(($(set_op bottom "$ACTIVE") - $(set_op bottom "$landing")))
  PRESS_MS=$(now_ms)
  pad press down
  wait_until 8 "the piece dropped onto the well and a new piece" dropped "$expected"
  elapsed_ms=$(($(now_ms) - PRESS_MS))
  if [[ ${1:-} == checked ]]; then
    ((rows >= elapsed_ms / 1000 + 2)) || fail "the piece went $rows rows down in $elapsed_ms ms"
    log "dropped $rows rows in $elapsed_ms ms"
  fi
  STACK=$expected
  read_well
}
# A game that has just begun: the countdown, or a well holding only the falling piece.
first_piece() { read_well; [[ $(set_size "$BLOCKS") == 4 ]]; }
started() { read_well; countdown_shown || [[ $(set_size "$BLOCKS") == 4 ]]; }
# Holds the D-pad toward the farther wall until the piece is there; sets HELD_COLUMNS to the
# columns it went.
hold_to_wall() {
  local direction wall edge
  held_shape=$(set_op shape "$ACTIVE")
  if (($(left_column "$ACTIVE") >= COLUMNS - 1 - $(right_column "$ACTIVE"))); then
    direction=left wall=0 edge=left_column
  else
    direction=right wall=$((COLUMNS - 1)) edge=right_column
  fi
  HELD_COLUMNS=$(($($edge "$ACTIVE") - wall))
  HELD_COLUMNS=${HELD_COLUMNS#-}
  pad down "$direction"
  wait_until 15 "the held $direction to bring the piece to the wall" at_column "$wall" "$edge"
  pad up "$direction"
}
# Start with no game running: a new game.
start_game() {
  STACK=""
  # The countdown runs inside the press's handling, so the release is seen only after it.
  pad down start
  # The countdown's digits fade in and out, so that a slow screenshot can miss them: the game's
  # first piece shows it started as well.
  wait_until 8 "the countdown or the game's first piece" started
  pad up start
  wait_until 8 "the game's first piece" first_piece
}
chrono_stopped() {
  shoot
  local first
  first=$(chrono_sig)
  sleep 1
  shoot
  [[ $(chrono_sig) == "$first" ]]
}

start_xvfb
start_kestrow
exec 7<>"$WORK/pad.fifo"

log "the pad plugged in while the window shows"
pad plug

log "Start: Nouvelle partie, its countdown and a piece"
start_game

log "D-pad left and right: one column each"
before=$ACTIVE
pad press left
wait_until 3 "the piece one column to the left" moved_sideways "$before" -1
before=$ACTIVE
pad press right
wait_until 3 "the piece one column to the right" moved_sideways "$before" 1

# Each check that follows takes a new piece, so that it has the whole well to fall through on a
# slow machine. Only a piece with four orientations (T, L, J) tells the two turns apart: until
# one comes, games are stopped and started again.
log "south and D-pad up turn the piece one way, east the other way"
drop_with_pad
for ((tries = 0; ; tries++)); do
  ((tries < 10)) || fail "no piece with four orientations in 10 pieces"
  unturned=$(set_op shape "$ACTIVE")
  if [[ $unturned != "0,0 1,0 0,1 1,1" ]]; then
    pad press south
    wait_until 3 "the piece turned by south" shape_differs "$unturned"
    turned=$(set_op shape "$ACTIVE")
    pad press south
    wait_until 3 "the piece turned again by south" shape_differs "$turned"
    [[ $(set_op shape "$ACTIVE") != "$unturned" ]] && break
  fi
  pad press back
  start_game
done
pad press east
wait_until 3 "east to turn the piece back once" shape_is "$turned"
pad press east
wait_until 3 "east to turn the piece back twice" shape_is "$unturned"
pad press up
wait_until 3 "D-pad up to turn the piece as south did" shape_is "$turned"

log "D-pad held: the piece goes on moving to the wall"
drop_with_pad
hold_to_wall
((HELD_COLUMNS >= 2)) || fail "the piece was $HELD_COLUMNS columns from the wall: too close to show a repeat"
log "held the D-pad toward the wall: $HELD_COLUMNS columns"

drop_with_pad
log "D-pad down drops a new piece at once where it lands"
drop_with_pad checked

log "Back stops the game as Escape does"
pad press back
wait_until 5 "the chronometer to stop after Back" chrono_stopped
game_over_shown && fail "the Game Over picture shows after Back"
window_mapped || fail "Back during a game hid the window"
stopped=$SHOT
pad press left
pad press down
sleep 0.5
shoot
[[ $(region_sig "$stopped" $WELL_X $WELL_Y 290 522) == $(region_sig "$SHOT" $WELL_X $WELL_Y 290 522) ]] ||
  fail "the pad still moves pieces after Back"

log "Start begins a new game once none runs"
start_game

# A piece falls a row a second, so in ELAPSED ms it falls at most ELAPSED / 1000 + 1 rows on its
# own: one that went lower than that was pushed down.
for button in west rightshoulder; do
  log "$button pushes the piece down"
  start_ms=$(now_ms)
  read_well
  row=$(set_op bottom "$ACTIVE")
  # As many pushes as leave the piece falling, up to 6, with room for 5 rows of its own fall.
  pushes=$((row - $(set_op bottom "$(set_op land "$ACTIVE" "$STACK")") - 5))
  ((pushes <= 6)) || pushes=6
  ((pushes >= 4)) || fail "the stack leaves room for only $pushes pushes"
  shape=$(set_op shape "$ACTIVE")
  for ((i = 0; i < pushes; i++)); do pad press "$button"; done
  read_well
  elapsed_ms=$(($(now_ms) - start_ms))
  [[ $(set_size "$ACTIVE") == 4 && $(set_op shape "$ACTIVE") == "$shape" ]] ||
    fail "the piece landed or changed while $button pushed it down"
  fallen=$((row - $(set_op bottom "$ACTIVE")))
  ((fallen >= elapsed_ms / 1000 + 2)) ||
    fail "$pushes presses of $button and $elapsed_ms ms took the piece only $fallen rows down"
  log "$pushes presses of $button: $fallen rows down in $elapsed_ms ms"
  drop_with_pad
done

log "passed"
