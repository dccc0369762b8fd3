#!/usr/bin/env bash
# The help page found beside a program installed in a directory whose name holds a space and an
# accented letter ("Jeux é x"): the help window shows the page, not the web engine's error page.
source "$(dirname "$0")/lib.sh" "$@"

page=$(dirname "$KESTROW_BIN")/Aide_Kestrow.html
[[ -f $page ]] || fail "no help page beside $KESTROW_BIN"
installed="$WORK/Jeux é x"
mkdir -p "$installed"
cp "$KESTROW_BIN" "$page" "$installed/"
KESTROW_BIN="$installed/$(basename "$KESTROW_BIN")"

start_xvfb
start_kestrow

HELP=""
one_help_window() {
  HELP=$(program_dialogs)
  [[ -n $HELP && $HELP != *$'\n'* ]]
}
# Most of the help window is the page's cream background (#fdf6ea), read on every other pixel;
# the error page has none of it.
IS_PAGE_CREAM='r >= 248 && g >= 240 && g <= 250 && b >= 228 && b <= 240'
page_shown() {
  shoot help
  local x y w h
  read -r x y w h < <(xwininfo -id "$HELP" | awk '/Absolute upper-left X:/ {x = $4}
    /Absolute upper-left Y:/ {y = $4} /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}')
  CREAM=$(convert "$SHOT" -crop "${w}x${h}+${x}+${y}" +repage -sample 50% -depth 8 txt:- |
    awk -F'[ ,:()]+' "NR > 1 { r = \$3; g = \$4; b = \$5; n++; if ($IS_PAGE_CREAM) c++ }
      END { printf \"%d of %d\", c, n }")
  local cream=${CREAM% of *} all=${CREAM#* of }
  ((cream * 2 > all))
}

log "help asked for from $installed"
click_button help
wait_until 10 "the help window" one_help_window
xdotool mousemove 1019 763
poll 15 page_shown || fail "the help window does not show the help page (cream pixels: $CREAM)"
log "  page shown: cream pixels $CREAM"
log "passed"
