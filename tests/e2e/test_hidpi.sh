#!/usr/bin/env bash
# The window on HiDPI displays. At GDK_SCALE=2 the 600 × 600 window is 1200 × 1200 device
# pixels drawn at that resolution, not enlarged: the logo and a button's caption have clearly
# sharper edges than the scale-1 picture enlarged twice. Everything keeps its logical place:
# colours, the buttons lighting under the pointer, the transparent margin letting the pointer
# through. GDK_SCALE=3 shows the window too. With KESTROW_SCREENSHOTS=DIR the scale-1 and
# scale-2 pictures are kept there as hidpi-scale1.png and hidpi-scale2.png.
XVFB_SCREEN=1920x1920x24
source "$(dirname "$0")/lib.sh" "$@"

# edge_energy FILE: the mean squared grey difference between neighbouring pixels, across and
# down; an edge spread over two pixels has half the energy of the same edge on one.
edge_energy() {
  local across down
  across=$(convert "$1" -colorspace Gray \( +clone -roll +1+0 \) -compose difference -composite \
    -crop +1+0 +repage -evaluate pow 2 -format '%[fx:mean]' info:)
  down=$(convert "$1" -colorspace Gray \( +clone -roll +0+1 \) -compose difference -composite \
    -crop +0+1 +repage -evaluate pow 2 -format '%[fx:mean]' info:)
  awk -v a="$across" -v d="$down" 'BEGIN { printf "%.6f\n", a + d }'
}

# Starts the program at SCALE with three best times in its list and the pointer in the well,
# and saves its window as OUT.
shoot_at_scale() {
  local scale=$1 out=$2
  export GDK_SCALE=$scale WINDOW_SIDE=$((600 * scale))
  printf '%s' $'Zoe\r\n0|1|0|0\r\n39|37|38|17|40|16\r\nAnne|71469\r\nBob|200000\r\nCamille|263434\r\n' \
    >"$WORK/home/Scores.zorvik"
  start_kestrow
  move_to $((300 * scale)) $((300 * scale))
  sleep 0.5
  shoot "scale$scale"
  convert "$SHOT" -crop "${WINDOW_SIDE}x${WINDOW_SIDE}+$WX+$WY" +repage "$out"
}

stop_kestrow() {
  _stop_pid "$KPID"
  KPID=""
}

# Is the pointer, moved to window point (X, Y), over the program's window rather than the root
# window below? Pointer events go where the window's input shape says.
pointer_on_window() {
  local root
  root=$(printf '%d' "$(xwininfo -root | awk '/Window id:/ {print $4}')")
  move_to "$1" "$2"
  [[ $(xdotool getmouselocation --shell | awk -F= '/^WINDOW=/ {print $2}') != "$root" ]]
}

start_xvfb

log "scale 1"
shoot_at_scale 1 "$WORK/scale1.png"
stop_kestrow

log "scale 2: 1200 × 1200 device pixels, the same picture at the same logical places"
# Points are device pixels of the window from here on.
shoot_at_scale 2 "$WORK/scale2.png"
near 40 600 "the orange frame left of the well" "246 140 35"
near 200 600 "the well's dark green" "15 57 32" 20
near 900 400 "the score list's cream stripes" "250 230 203"
near 2 2 "the transparent top-left corner" "0 0 0" 0
near 1197 1197 "the transparent bottom-right corner" "0 0 0" 0

log "edges: the scale-2 picture against the scale-1 one enlarged twice"
compare_edges() {
  local what=$1 x=$2 y=$3 w=$4 h=$5 sharp soft
  convert "$WORK/scale2.png" -crop "$((2 * w))x$((2 * h))+$((2 * x))+$((2 * y))" +repage "$WORK/$what-2.png"
  convert "$WORK/scale1.png" -crop "${w}x${h}+$x+$y" +repage -resize 200% "$WORK/$what-1.png"
  sharp=$(edge_energy "$WORK/$what-2.png")
  soft=$(edge_energy "$WORK/$what-1.png")
  log "  $what: edge energy $sharp at scale 2, $soft enlarged from scale 1"
  awk -v s="$sharp" -v e="$soft" 'BEGIN { exit !(s > 1.4 * e) }' ||
    fail "the $what is not sharper at scale 2 ($sharp) than enlarged from scale 1 ($soft)"
}
compare_edges logo 350 21 220 55
compare_edges "caption of the second button" 353 464 202 21
compare_edges "text of the best times" 352 173 220 48

log "the buttons light up at their logical places, the margin lets the pointer through"
lit_at() { # NAME: is only button NAME lit?
  shoot
  local name lit=""
  for name in new clear prefs help quit; do
    local rgb g
    rgb=$(pixel "$SHOT" $((2 * 362)) $((2 * (BUTTON_Y[$name] - 6))))
    g=${rgb#* }
    g=${g% *}
    ((g > 200)) && lit+="$name "
  done
  [[ ${lit% } == "$1" ]]
}
move_to $((2 * 500)) $((2 * BUTTON_Y[prefs]))
wait_until 3 "button prefs lit under the pointer" lit_at prefs
move_to $((2 * 353)) $((2 * 442))
wait_until 3 "button new lit at its top-left logical pixel" lit_at new
pointer_on_window 600 600 || fail "the pointer over the well does not reach the window"
pointer_on_window 1170 1000 || fail "the pointer over the frame's right part does not reach the window"
! pointer_on_window 1196 1000 || fail "the transparent right margin catches the pointer"
! pointer_on_window 4 4 || fail "the transparent top-left corner catches the pointer"
stop_kestrow

log "scale 3: the window shows, with the 2x images enlarged"
shoot_at_scale 3 "$WORK/scale3.png"
kill -0 "$KPID" || fail "the program ended at scale 3"
near 60 900 "the orange frame left of the well" "246 140 35"
near 3 3 "the transparent top-left corner" "0 0 0" 0
(($(count_pixels "$SHOT" $((3 * 350)) $((3 * 21)) $((3 * 220)) $((3 * 55)) 'r > 200 && g > 200 && b < 100') > 900)) ||
  fail "the logo's yellow letter is missing at scale 3"
stop_kestrow

if [[ -n ${KESTROW_SCREENSHOTS:-} ]]; then
  cp "$WORK/scale1.png" "$KESTROW_SCREENSHOTS/hidpi-scale1.png"
  cp "$WORK/scale2.png" "$KESTROW_SCREENSHOTS/hidpi-scale2.png"
fi
log "passed"
