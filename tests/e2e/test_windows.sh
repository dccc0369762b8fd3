#!/usr/bin/env bash
# The preferences and help windows under a real window manager (openbox): their titles, their
# place in the middle of the screen, the main window refusing clicks while one is up and taking
# them again once it is closed (by its Annuler button or the window manager's Alt+F4), each
# opening a second time, the help page drawn by the web engine, and that engine loaded only
# when help is first asked for.
# KESTROW_E2E_SCREENSHOTS=DIR also saves preferences.png and help.png (each window with its
# frame) there.
source "$(dirname "$0")/lib.sh" "$@"

command -v openbox >/dev/null || fail "openbox is not installed (scripts/install-deps)"
SCREENSHOTS=${KESTROW_E2E_SCREENSHOTS:-}
SCREEN_W=1024 SCREEN_H=768

# The window manager's view: the client windows it manages, as decimal ids.
managed_windows() {
  xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*' | while read -r w; do
    printf '%d\n' "$w"
  done
}
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The program's managed windows other than the main one; DIALOG is set when there is exactly one.
DIALOG=""
program_windows() {
  local w
  for w in $(managed_windows); do
    ((w == WIN)) && continue
    [[ $(xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{print $3}') == "$KPID" ]] && echo "$w"
  done
  return 0
}
one_dialog() {
  local found
  found=$(program_windows)
  DIALOG=$found
  [[ -n $found && $found != *$'\n'* ]]
}
no_dialog() { [[ -z $(program_windows) ]]; }

# A text property as xprop prints it in a UTF-8 locale (WM_NAME is Latin-1 on the wire).
text_property() {
  LC_ALL=C.UTF-8 xprop -id "$DIALOG" "$1" | sed -n 's/^[^=]* = "\(.*\)"$/\1/p'
}

# The dialog's client area and, from _NET_FRAME_EXTENTS, its frame: CX CY CW CH, FX FY FW FH.
dialog_geometry() {
  read -r CX CY CW CH < <(xwininfo -id "$DIALOG" | awk '/Absolute upper-left X:/ {x = $4}
    /Absolute upper-left Y:/ {y = $4} /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}')
  local left right top bottom
  IFS=', ' read -r left right top bottom < <(xprop -id "$DIALOG" _NET_FRAME_EXTENTS | sed 's/^.* = //')
  [[ -n $bottom ]] || fail "the window manager set no _NET_FRAME_EXTENTS on window $DIALOG"
  FX=$((CX - left)) FY=$((CY - top)) FW=$((CW + left + right)) FH=$((CH + top + bottom))
}

# check_dialog TITLE CLIENT_W CLIENT_H: one new window of the program with that title, its client
# area of that size (the outer size less the frame the program allows for), and the centre of
# its frame within 8 pixels of the screen's centre. The program asks for the outer window's
# top-left corner at (screen / 2 − outer / 2); the window manager's frame differs from that
# outer size by a few pixels, which moves the frame's centre by half as much.
check_dialog() {
  local title=$1 width=$2 height=$3
  wait_until 10 "one window of the program besides the main one, \"$title\"" one_dialog
  [[ $(text_property _NET_WM_NAME) == "$title" ]] ||
    fail "_NET_WM_NAME is \"$(text_property _NET_WM_NAME)\", not \"$title\""
  [[ $(text_property WM_NAME) == "$title" ]] ||
    fail "WM_NAME is \"$(text_property WM_NAME)\", not \"$title\""
  xprop -id "$DIALOG" WM_TRANSIENT_FOR | grep -q "$(printf '0x%x' "$WIN")$" ||
    fail "\"$title\" is not transient for the main window"
  dialog_geometry
  ((CW == width && CH == height)) || fail "\"$title\" has a ${CW} × ${CH} client area, not ${width} × ${height}"
  local dx=$((2 * FX + FW - SCREEN_W)) dy=$((2 * FY + FH - SCREEN_H))   # twice the offsets
  ((dx >= -16 && dx <= 16 && dy >= -16 && dy <= 16)) ||
    fail "\"$title\"'s frame ${FW} × ${FH} at ($FX, $FY) is not centred on the ${SCREEN_W} × ${SCREEN_H} screen"
  log "  \"$title\": client ${CW} × ${CH} at ($CX, $CY), frame ${FW} × ${FH} at ($FX, $FY)"
}

# Clicks "Nouvelle partie" and watches the well for 1.5 s: no countdown may start.
new_game_refused() {
  click_button new
  local deadline=$(($(now_ms) + 1500))
  while (($(now_ms) < deadline)); do
    shoot
    countdown_shown && fail "\"Nouvelle partie\" started a countdown while \"$1\" was open"
  done
  one_dialog || fail "\"$1\" went away after a click on the main window"
}

# close_by_wm WINDOW NAME: the window manager's close, the window made active, then Alt+F4.
is_active() { xprop -root _NET_ACTIVE_WINDOW | grep -q "$(printf '0x%x' "$1")$"; }
close_by_wm() {
  xdotool windowactivate "$1" 2>/dev/null || true
  wait_until 5 "the window manager made $2 active" is_active "$1"
  press_key alt+F4
}

# The window manager asked to close the main window: it stays, and so does the dialog.
main_close_refused() {
  close_by_wm "$WIN" "the main window"
  sleep 1
  kill -0 "$KPID" 2>/dev/null || fail "the program ended on a close of its main window while \"$1\" was open"
  window_mapped || fail "the main window closed while \"$1\" was open"
  one_dialog || fail "\"$1\" went away after a close of the main window"
}

# The window manager closes the dialog.
wm_close() {
  close_by_wm "$DIALOG" "\"$1\""
  wait_until 5 "\"$1\" closed by the window manager" no_dialog
}

# Saves the dialog's frame from the last screenshot as NAME.png in $WORK (and SCREENSHOTS).
keep_dialog_picture() {
  convert "$SHOT" -crop "${FW}x${FH}+${FX}+${FY}" +repage "$WORK/$1.png"
  [[ -z $SCREENSHOTS ]] || cp "$WORK/$1.png" "$SCREENSHOTS/$1.png"
}

# The dialog's frame right of the well and above the first button.
moved_aside() {
  local buttons_top=${BUTTON_Y[new]}
  buttons_top=$((WY + buttons_top - 10))
  dialog_geometry
  ((FX > WX + WELL_X + COLUMNS * CELL && FY + FH < buttons_top))
}

# The pointer in the screen's corner, over none of the windows, for the pictures.
pointer_aside() {
  xdotool mousemove $((SCREEN_W - 5)) $((SCREEN_H - 5))
  sleep 0.3
}

webkit_loaded() { grep -q libwebkit2gtk "/proc/$KPID/maps"; }

# The help page in the client area (read on every other pixel): mostly its cream background
# (#fdf6ea), lines of dark text, and the orange band of its header.
IS_PAGE_CREAM='r >= 248 && g >= 240 && g <= 250 && b >= 228 && b <= 240'
IS_TEXT='r + g + b < 300'
IS_HEADER_ORANGE='r > 220 && g > 100 && g < 180 && b < 80'
help_page_shown() {
  shoot
  local counts
  counts=$(convert "$SHOT" -crop "${CW}x${CH}+${CX}+${CY}" +repage -sample 50% -depth 8 txt:- |
    awk -F'[ ,:()]+' "NR > 1 { r = \$3; g = \$4; b = \$5; n++
      if ($IS_PAGE_CREAM) c++; else if ($IS_TEXT) t++; else if ($IS_HEADER_ORANGE) o++ }
      END { print n + 0, c + 0, t + 0, o + 0 }")
  local all cream text orange
  read -r all cream text orange <<<"$counts"
  PAGE_COUNTS="cream $cream, text $text, orange $orange of $all"
  ((cream * 2 > all && text > 500 && orange > 2000))
}

start_xvfb
# Its default configuration (Alt+F4 closes, a click focuses), not the user's.
start_child env HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" openbox --sm-disable
wait_until 10 "openbox managing the display" wm_running
start_kestrow
no_dialog || fail "a window besides the main one at start"
webkit_loaded && fail "the web engine is loaded at start, before help is asked for"

for round in 1 2; do
  log "round $round: Préférences"
  click_button prefs
  check_dialog "Kestrow préférences" 244 302
  if ((round == 1)); then
    pointer_aside
    shoot
    keep_dialog_picture preferences
    new_game_refused "Kestrow préférences"
    main_close_refused "Kestrow préférences"
    log "  closed by its Annuler button"
    dialog_geometry
    xdotool mousemove $((CX + 177)) $((CY + 285)) click 1
    wait_until 5 "the preferences window closed by Annuler" no_dialog
  else
    log "  closed by the window manager"
    wm_close "Kestrow préférences"
  fi
done
webkit_loaded && fail "the web engine is loaded before help is asked for"

for round in 1 2; do
  log "round $round: Aide"
  click_button help
  check_dialog "Aide Kestrow" 594 472
  webkit_loaded || fail "the web engine is not loaded with the help window open"
  wait_until 10 "the help page drawn in the help window" help_page_shown
  log "  page: $PAGE_COUNTS"
  if ((round == 1)); then
    pointer_aside
    shoot
    keep_dialog_picture help
    # The help window covers the buttons and the well: moved aside first, partly off the
    # screen, as a user would drag it.
    xdotool windowmove "$DIALOG" $((WX + WELL_X + COLUMNS * CELL + 10)) 0
    wait_until 5 "the help window moved off the well and the buttons" moved_aside
    new_game_refused "Aide Kestrow"
  fi
  wm_close "Aide Kestrow"
done

log "the main window takes clicks again: Nouvelle partie starts a countdown, Quitter ends"
click_button new
wait_until 3 "the countdown after Nouvelle partie" screen_shows countdown_shown
click_button quit
wait_exit 5
((EXIT_CODE == 0)) || fail "the program did not end with status 0 after Quitter (status $EXIT_CODE)"

log "SIGTERM with the preferences window open ends the program (as at logout)"
start_kestrow
click_button prefs
check_dialog "Kestrow préférences" 244 302
kill -TERM "$KPID"
wait_exit 5
((EXIT_CODE == 0)) || fail "SIGTERM under the preferences window: status $EXIT_CODE (124: still running)"
log "passed"
