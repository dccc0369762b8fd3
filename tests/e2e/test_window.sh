#!/usr/bin/env bash
# The main window as X sees it: one 600 × 600 window titled "Kestrow", centred, without
# decorations, kept above and out of the task bar, with an alpha channel; its picture (frame,
# logo, well, panels, transparent corners) and the buttons lighting up under the pointer.
source "$(dirname "$0")/lib.sh" "$@"

start_xvfb
start_kestrow

log "one window titled Kestrow, 600 × 600 at (212, 84), depth 32, no border"
count=$(xdotool search --onlyvisible --name '^Kestrow$' | wc -l)
((count == 1)) || fail "$count visible windows titled Kestrow"
((WX == 212 && WY == 84)) || fail "the window is at ($WX, $WY), not centred at (212, 84)"
info=$(xwininfo -id "$WIN")
grep -q 'Depth: 32$' <<<"$info" || fail "the window has no 32-bit (alpha) visual: $(grep Depth <<<"$info")"
grep -q 'Border width: 0$' <<<"$info" || fail "the window has a border: $(grep 'Border width' <<<"$info")"
# It is a top-level window: a direct child of the root.
children=$(xwininfo -root -children)
grep -q "^ *$(printf '0x%x' "$WIN") " <<<"$children" || fail "the window is not a child of the root window"
# No other top-level window of the program is shown (GTK's leader window stays unmapped).
viewable=0
for w in $(awk '/^ +0x/ {print $1}' <<<"$children"); do
  [[ $(map_state "$w") == IsViewable ]] && viewable=$((viewable + 1))
done
((viewable == 1)) || fail "$viewable windows are shown, expected only the main one"

log "window manager hints: no decorations, above others, not in the task bar, fixed size"
props=$(xprop -id "$WIN" _NET_WM_STATE _NET_WM_WINDOW_TYPE _MOTIF_WM_HINTS WM_NAME _NET_WM_NAME \
  WM_NORMAL_HINTS WM_PROTOCOLS)
echo "$props" | sed 's/^/    /'
# _MOTIF_WM_HINTS: flags with the decorations bit (2) set, decorations 0.
motif=$(awk -F' = ' '/^_MOTIF_WM_HINTS/ {print $2}' <<<"$props")
IFS=', ' read -r -a motif_fields <<<"$motif"
((${#motif_fields[@]} >= 3)) || fail "no _MOTIF_WM_HINTS on the window"
(((motif_fields[0] & 2) != 0 && motif_fields[2] == 0)) ||
  fail "_MOTIF_WM_HINTS does not turn the decorations off: $motif"
grep -q '^_NET_WM_STATE(ATOM) = .*_NET_WM_STATE_ABOVE' <<<"$props" ||
  fail "_NET_WM_STATE lacks _NET_WM_STATE_ABOVE"
grep -q '^_NET_WM_STATE(ATOM) = .*_NET_WM_STATE_SKIP_TASKBAR' <<<"$props" ||
  fail "_NET_WM_STATE lacks _NET_WM_STATE_SKIP_TASKBAR"
grep -q '^WM_NAME(STRING) = "Kestrow"$' <<<"$props" || fail "WM_NAME is not \"Kestrow\""
grep -q '^_NET_WM_NAME(UTF8_STRING) = "Kestrow"$' <<<"$props" || fail "_NET_WM_NAME is not \"Kestrow\""
if ! grep -q 'minimum size: 600 by 600' <<<"$props" || ! grep -q 'maximum size: 600 by 600' <<<"$props"; then
  fail "the window may be resized (WM_NORMAL_HINTS has no 600 × 600 minimum and maximum)"
fi
grep -q '^WM_PROTOCOLS.*WM_DELETE_WINDOW' <<<"$props" ||
  fail "the window does not take part in WM_DELETE_WINDOW"

log "the picture: frame, logo, well, panels, transparent corners"
move_to 300 300   # inside the well, over no button
sleep 0.3
shoot
near 20 300 "the orange frame left of the well" "246 140 35"
near 300 10 "the frame's light top edge" "255 196 120"
near 100 300 "the well's dark green" "15 57 32" 20
near 450 200 "the score list's cream stripes" "250 230 203"
near 380 100 "the preview box" "255 253 247" 15
near 460 100 "the chronometer box" "255 253 247" 15
# The window's rounded corners and the margin around the frame are transparent: without a
# compositor they show as zero (black) pixels.
near 1 1 "the top-left corner" "0 0 0" 0
near 598 1 "the top-right corner" "0 0 0" 0
near 1 598 "the bottom-left corner" "0 0 0" 0
near 598 598 "the bottom-right corner" "0 0 0" 0
# The multicoloured "Kestrow" logo at the top right: yellow, green, blue and pink letters.
for colour in 'r > 200 && g > 200 && b < 100' 'g > r + 60 && g > b + 60' 'b > r + 60 && b > g + 30' \
  'r > 200 && g < 100 && b > 100'; do
  (($(count_pixels "$SHOT" 350 21 220 55 "$colour") > 100)) ||
    fail "the logo lacks pixels with $colour"
done
save_window_png "$SHOT" "$WORK/start.png"

log "each button lights up under the pointer, and only that one"
lit_buttons() {
  local name lit=""
  for name in new clear prefs help quit; do
    local rgb
    rgb=$(pixel "$SHOT" 362 $((BUTTON_Y[$name] - 6)))
    local g=${rgb#* }
    g=${g% *}
    ((g > 200)) && lit+="$name "
  done
  echo "${lit% }"
}
shoot
[[ -z $(lit_buttons) ]] || fail "buttons lit with the pointer in the well: $(lit_buttons)"
lit_is() { shoot; [[ $(lit_buttons) == "$1" ]]; }
for name in new clear prefs help quit; do
  move_to 500 "${BUTTON_Y[$name]}"
  wait_until 3 "only button $name lit" lit_is "$name"
done
move_to 300 300
wait_until 3 "no button lit after the pointer left them" lit_is ""
# The edges: the row y 442..462 is the first button, 463 is the gap or the next one; x 352 is
# outside.
move_to 352 452
sleep 0.3
lit_is "" || fail "a button lights up with the pointer left of the buttons (x 352)"
move_to 353 442
wait_until 3 "button new lit at its top-left pixel" lit_is new
move_to 554 462
wait_until 3 "button new lit at its bottom-right pixel" lit_is new

log "passed"
