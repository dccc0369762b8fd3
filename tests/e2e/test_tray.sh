#!/usr/bin/env bash
# Escape outside a game hides the window into the notification area, and only when there is
# one (trayer here): without it, or during a game, the window stays. A left click on the
# icon brings the window back and takes the icon away.
source "$(dirname "$0")/lib.sh" "$@"

command -v trayer >/dev/null || fail "trayer is not installed (scripts/install-deps)"

start_xvfb
start_kestrow

# The program's icon: a shown window named "kestrow" other than the main one (xdotool
# matches names without regard to case; GTK's own leader window stays unmapped).
ICON=""
icon_shown() {
  local w
  ICON=""
  for w in $(xdotool search --onlyvisible --name '^kestrow$' 2>/dev/null); do
    ((w == WIN)) || ICON=$w
  done
  [[ -n $ICON ]]
}
icon_gone() { ! icon_shown; }
# Focus on the window first: a click on its frame (pressed and released without moving).
escape() {
  click 10 300
  press_key Escape
}
stays_mapped() {
  sleep 1
  window_mapped || fail "$1"
}

log "without a notification area, Escape keeps the window"
escape
stays_mapped "Escape hid the window although there is no notification area"
icon_gone || fail "an icon window shows without a notification area"

log "with trayer running, Escape during a game stops it but keeps the window"
start_child trayer --edge bottom --align left --widthtype request --height 28
TRAYER_PID=$LAST_CHILD
trayer_shown() { xdotool search --onlyvisible --class '^trayer$' >/dev/null 2>&1; }
wait_until 5 "trayer's panel" trayer_shown
click_button new
piece_shown() { shoot; [[ $(set_size "$(well_cells "$SHOT" | blocks)") == 4 ]]; }
wait_until 6 "a piece in the well" piece_shown
press_key Escape
stays_mapped "Escape during a game hid the window"
icon_gone || fail "the icon shows while the window is shown"

for round in 1 2; do
  log "round $round: Escape outside a game hides the window, the icon shows"
  escape
  wait_until 5 "the window hidden after Escape" window_unmapped
  wait_until 5 "the program's icon in trayer" icon_shown
  read -r ix iy iw ih < <(xwininfo -id "$ICON" | awk '
    /Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
    /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}')
  ((iw >= 8 && ih >= 8)) || fail "the icon window is only ${iw} × ${ih}"
  # It is inside trayer's panel, at the bottom of the screen.
  ((iy > 700)) || fail "the icon is at ($ix, $iy), not in trayer's panel at the bottom"
  shoot
  icon_colours=$(convert "$SHOT" -crop "${iw}x${ih}+${ix}+${iy}" +repage -unique-colors -format '%w' info:)
  ((icon_colours > 4)) || fail "the icon shows only $icon_colours colours"

  log "round $round: a left click on the icon shows the window and removes the icon"
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
  wait_until 5 "the window shown again" window_mapped
  wait_until 5 "the icon removed" icon_gone
  window_origin
  ((WX == 212 && WY == 84)) || fail "the window came back at ($WX, $WY), not where it was"
  shoot
  [[ $(pixel "$SHOT" 20 300) != "0 0 0" ]] || fail "the window came back without its picture"
done

log "after trayer stops, Escape keeps the window again"
kill -TERM "$TRAYER_PID"
wait "$TRAYER_PID" 2>/dev/null || true
trayer_gone() { ! trayer_shown; }
wait_until 5 "trayer gone" trayer_gone
escape
stays_mapped "Escape hid the window after the notification area went away"

log "passed"
