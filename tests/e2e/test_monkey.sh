#!/usr/bin/env bash
# Two minutes of random input on the real window: every kind of key (letters, accented
# letters, modifiers, function keys, keypad, Alt and Control combinations, held keys), clicks
# with every button, wheel turns and drags anywhere on the window but the "Quitter" button,
# before, during and between games, and in the dialogs the buttons open (closed now and then
# as a window manager would). Afterwards the program must still be alive and answer: its
# dialogs close on request, "Nouvelle partie" starts a countdown and "Quitter" ends it with
# exit code 0.
# KESTROW_MONKEY_SEED=N replays a run; KESTROW_MONKEY_SECONDS=N changes its length.
source "$(dirname "$0")/lib.sh" "$@"

command -v cc >/dev/null || fail "no C compiler to build send_close"
cc -o "$WORK/send_close" "$E2E_DIR/send_close.c" -lX11 || fail "send_close.c does not compile"

SEED=${KESTROW_MONKEY_SEED:-20241207}
DURATION=${KESTROW_MONKEY_SECONDS:-120}
RANDOM=$SEED
ACTIONS=$WORK/monkey-actions.log
: >"$ACTIONS"

monkey_fail() {
  echo "monkey seed $SEED (replay: KESTROW_MONKEY_SEED=$SEED bash $0 $KESTROW_BIN)" >&2
  echo "last actions:" >&2
  tail -n 25 "$ACTIONS" | sed 's/^/    /' >&2
  fail "$@"
}

# R: a random number in 0..N-1 (set in this shell, so the sequence follows the seed).
rnd() { R=$((RANDOM % $1)); }
pick() { local -n list=$1; rnd ${#list[@]}; PICKED=${list[$R]}; }

KEYS=(a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9
  space Return Tab BackSpace Delete Insert Home End Prior Next Escape Pause Print Menu
  Left Right Up Down Left Right Up Down Left Right Up Down
  Shift_L Shift_R Control_L Control_R Alt_L Alt_R Super_L ISO_Level3_Shift
  Caps_Lock Num_Lock Scroll_Lock
  F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12
  KP_0 KP_1 KP_2 KP_3 KP_4 KP_5 KP_6 KP_7 KP_8 KP_9 KP_Add KP_Subtract KP_Multiply
  KP_Divide KP_Decimal KP_Enter KP_Home KP_End KP_Up KP_Down KP_Left KP_Right KP_Begin
  KP_Insert KP_Delete KP_Prior KP_Next
  comma period slash semicolon apostrophe bracketleft bracketright backslash minus equal grave
  less greater question exclam at numbersign dollar percent
  eacute egrave agrave ccedilla ugrave EuroSign sterling degree section twosuperior)
COMBOS=(ctrl+a ctrl+c ctrl+v ctrl+x ctrl+z ctrl+q ctrl+w ctrl+n ctrl+Left ctrl+Up ctrl+Down
  ctrl+Return ctrl+Escape ctrl+F4 shift+Left shift+Right shift+Up shift+Down shift+Tab
  shift+F10 shift+Escape shift+a alt+Left alt+Down alt+F4 alt+Tab alt+space alt+Return
  alt+n alt+q alt+F1 alt+Escape ctrl+shift+Escape ctrl+alt+Left ctrl+alt+Delete super+d
  super+Up Up+Left Down+Right Control_L+Up shift+ctrl+Down)
HOLD_KEYS=(Left Right Down Up Shift_L Control_L space)
MODIFIERS=(Shift_L Shift_R Control_L Control_R Alt_L Alt_R Super_L ISO_Level3_Shift)

# Screen bounds for the pointer; the "Quitter" button, with a margin, is never aimed at.
SCREEN_W=1024 SCREEN_H=768
not_quit() { (($1 < 350 || $1 > 557 || $2 < 527 || $2 > 553)); }
# A random window point off "Quitter" and on the screen; sets PX, PY (window coordinates).
random_point() {
  local tries
  for ((tries = 0; tries < 50; tries++)); do
    rnd 600; PX=$R
    rnd 600; PY=$R
    # One time in three, aim at the buttons' column, the well or the drag frame.
    rnd 3
    if ((R == 0)); then rnd 202; PX=$((353 + R)); rnd 110; PY=$((442 + R)); fi
    local sx=$((WX + PX)) sy=$((WY + PY))
    ((sx >= 0 && sx < SCREEN_W && sy >= 0 && sy < SCREEN_H)) || continue
    not_quit "$PX" "$PY" && return 0
  done
  PX=300 PY=300
}

act() { echo "$(printf '%6d' $(($(now_ms) - START_MS))) $*" >>"$ACTIONS"; }

# Keeps the window where the pointer can reach it: drags may carry it far.
keep_on_screen() {
  window_origin
  if ((WX < -150 || WX > SCREEN_W - 450 || WY < -150 || WY > SCREEN_H - 450)); then
    act "windowmove back from ($WX, $WY)"
    xdotool windowmove "$WIN" 212 84
    sleep 0.2
    window_origin
  fi
}

health_check() {
  if ! kill -0 "$KPID" 2>/dev/null; then
    wait_exit 1
    monkey_fail "the program died during the random input (exit code $EXIT_CODE)"
  fi
  xwininfo -id "$WIN" >/dev/null 2>&1 || monkey_fail "the main window was destroyed"
  if grep -Eq 'CRITICAL|Segmentation|Aborted|terminate called' "$WORK/kestrow.log" 2>/dev/null; then
    monkey_fail "the program reported: $(grep -E 'CRITICAL|Segmentation|Aborted|terminate called' "$WORK/kestrow.log" | head -5)"
  fi
  # Without a notification area nothing may hide the window.
  window_mapped || monkey_fail "the window is no longer shown"
}

start_xvfb
start_kestrow
log "monkey seed $SEED, $DURATION s"

START_MS=$(now_ms)
next_game_ms=0
next_check_ms=0
count=0
while (($(now_ms) - START_MS < DURATION * 1000)); do
  now=$(now_ms)
  if ((now >= next_check_ms)); then
    health_check
    keep_on_screen
    # A dialog or the help may be open: one time in two, close them as a window manager would.
    dialogs=$(program_dialogs)
    rnd 2
    if [[ -n $dialogs ]] && ((R == 0)); then
      act "close request to" $dialogs
      for w in $dialogs; do "$WORK/send_close" "$w" || true; done
    fi
    next_check_ms=$((now + 3000))
  fi
  if ((now - START_MS >= next_game_ms)); then
    act "click Nouvelle partie"
    click_button new
    rnd 15000
    next_game_ms=$((now - START_MS + 8000 + R))
  fi
  rnd 100
  if ((R < 45)); then
    pick KEYS
    act "key $PICKED"
    xdotool key -- "$PICKED" 2>/dev/null || true
  elif ((R < 55)); then
    pick COMBOS
    act "key $PICKED"
    xdotool key -- "$PICKED" 2>/dev/null || true
  elif ((R < 60)); then
    pick HOLD_KEYS
    rnd 600
    act "hold $PICKED ${R} ms"
    xdotool keydown -- "$PICKED" 2>/dev/null || true
    sleep "0.$(printf '%03d' "$R")"
    xdotool keyup -- "$PICKED" 2>/dev/null || true
  elif ((R < 78)); then
    random_point
    rnd 10
    button=1
    ((R == 7)) && button=2
    ((R == 8)) && button=3
    ((R == 9)) && { rnd 2; button=$((4 + R)); }
    rnd 4
    repeat=1
    ((R == 0)) && repeat=2
    act "click $button ×$repeat at ($PX, $PY)"
    xdotool mousemove $((WX + PX)) $((WY + PY)) click --repeat "$repeat" --delay 60 "$button"
  elif ((R < 88)); then
    random_point
    x0=$PX y0=$PY
    random_point
    act "drag ($x0, $y0) → ($PX, $PY)"
    xdotool mousemove $((WX + x0)) $((WY + y0)) mousedown 1
    rnd 4
    steps=$((R + 1))
    for ((i = 1; i <= steps; i++)); do
      xdotool mousemove $((WX + x0 + (PX - x0) * i / steps)) $((WY + y0 + (PY - y0) * i / steps))
    done
    # Released off "Quitter" whatever the window did meanwhile.
    xdotool mouseup 1
    keep_on_screen
  elif ((R < 95)); then
    random_point
    act "move to ($PX, $PY)"
    xdotool mousemove $((WX + PX)) $((WY + PY))
  else
    rnd 800
    act "wait ${R} ms"
    sleep "0.$(printf '%03d' "$R")"
  fi
  count=$((count + 1))
  rnd 60
  sleep "0.0$(printf '%02d' "$R")"
done
log "$count random actions"

# Nothing stays pressed; Caps Lock and Num Lock may be on, which must not matter.
for modifier in "${MODIFIERS[@]}"; do xdotool keyup "$modifier" 2>/dev/null || true; done
xdotool mouseup 1 2>/dev/null || true
sleep 0.5
health_check
xdotool windowmove "$WIN" 212 84
sleep 0.3
window_origin

log "the program still answers: its dialogs close on request"
# Close requests to every dialog, again while new ones show (a modal opened from another).
dialogs_closed() {
  local left
  left=$(program_dialogs)
  [[ -z $left ]] && return 0
  act "close request to" $left
  for w in $left; do "$WORK/send_close" "$w" || true; done
  return 1
}
poll 8 dialogs_closed || monkey_fail "dialogs stay open after close requests: $(program_dialogs)"
health_check

log "the program still answers: Nouvelle partie starts a game"
piece_shown() { [[ $(set_size "$(well_cells "$SHOT" | blocks)") == 4 ]]; }
# With the video option on, a new game first asks for a codec and may warn: those dialogs are
# closed as they come; the game then starts (its countdown, or already its first piece).
game_started() {
  dialogs_closed || return 1
  shoot
  countdown_shown || piece_shown
}
started=0
for attempt in 1 2; do
  # End a game that may be running (Escape stops it; outside a game it changes nothing here).
  act "Escape, then Nouvelle partie"
  click 580 300
  press_key Escape
  sleep 0.5
  poll 5 dialogs_closed || true
  click_button new
  if poll 8 game_started; then
    started=1
    break
  fi
done
((started)) || monkey_fail "Nouvelle partie starts no game after the random input"
poll 6 screen_shows piece_shown || monkey_fail "no piece falls in the new game"

log "Quitter ends it with exit code 0"
click_button quit
wait_exit 5
((EXIT_CODE != 124)) || monkey_fail "Quitter did not end the program"
((EXIT_CODE == 0)) || monkey_fail "Quitter ended the program with exit code $EXIT_CODE"

log "passed (seed $SEED)"
