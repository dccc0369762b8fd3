#!/usr/bin/env bash
# The score file with the real program: a file with CR-only line ends is read and its rows are
# drawn in the list; "Quitter" without a change leaves the file as it was (or missing);
# "Effacer la liste" answered "Oui" writes the nineteen lines with empty rows, answered "Non"
# changes nothing; SIGTERM after a change saves too.
source "$(dirname "$0")/lib.sh" "$@"

SCORES=$WORK/home/Scores.zorvik
# Internet scores off, so that the list shows the local table and "Effacer la liste" acts.
PREPARED=$'Zoe\r0|1|0|0\r39|37|38|17|40|16\rAnne|71469\rBob|200000\r'
HEAD=$'Zoe\r\n0|1|0|0\r\n39|37|38|17|40|16\r\n'
EMPTY_ROW=$'|6513507\r\n'

start_xvfb

prepare() {
  printf '%s' "$PREPARED" >"$SCORES"
  cp "$SCORES" "$WORK/prepared"
}

# Sixteen digits for the last screenshot, 1 for a list row with text (dark pixels) and 0 for an
# empty one. Row i spans y = 173 + 16 i to 16 pixels below, from x = 356 to the list's edge.
rows_drawn() {
  convert "$SHOT" -crop "215x256+$((WX + 356))+$((WY + 173))" +repage -depth 8 txt:- |
    awk -F'[ ,:()]+' 'NR > 1 { if ($3 + $4 + $5 < 200) n[int($2 / 16)]++ }
      END { for (i = 0; i < 16; i++) printf "%d", (n[i] > 20); print "" }'
}
list_shows() { shoot; [[ $(rows_drawn) == "$1" ]]; }

# The confirmation box: waits until it is shown, titled "Confirmation", and has the keyboard
# focus; sets DIALOG.
dialog_shown() {
  DIALOG=$(program_dialogs | head -n 1)
  [[ -n $DIALOG ]] || return 1
  [[ $(xprop -id "$DIALOG" WM_NAME 2>/dev/null) == *'"Confirmation"' ]] || return 1
  (($(xdotool getwindowfocus 2>/dev/null || echo 0) == $(printf '%d' "$DIALOG")))
}
no_dialog() { [[ -z $(program_dialogs) ]]; }
ask_to_clear() {
  click_button clear
  wait_until 5 "the confirmation box after Effacer la liste" dialog_shown
}
answer_yes() {
  press_key Return  # "Oui" is the default button
  wait_until 5 "the confirmation box to close after Return" no_dialog
}
# Clicks "Non": the right half of the row of buttons at the box's bottom.
answer_no() {
  local x y width height
  read -r x y width height < <(xwininfo -id "$DIALOG" | awk '/Absolute upper-left X:/{x=$4}
    /Absolute upper-left Y:/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}')
  xdotool mousemove $((x + width * 3 / 4)) $((y + height - 14)) click 1
  wait_until 5 "the confirmation box to close after Non" no_dialog
}

quit_program() {
  click_button quit
  wait_exit 5
  ((EXIT_CODE != 124)) || fail "the program is still running 5 s after Quitter"
  ((EXIT_CODE == 0)) || fail "exit code $EXIT_CODE after Quitter"
}

unchanged() { cmp -s "$WORK/prepared" "$SCORES" || fail "$1: the file changed: $(od -c "$SCORES")"; }
cleared() {
  local expected=$HEAD i
  for ((i = 0; i < 16; i++)); do expected+=$EMPTY_ROW; done
  printf '%s' "$expected" >"$WORK/cleared"
  [[ -f $SCORES ]] || fail "$1: no score file"
  cmp -s "$WORK/cleared" "$SCORES" || fail "$1: not the nineteen lines expected: $(od -c "$SCORES")"
  if compgen -G "$SCORES.*" >/dev/null; then fail "$1: a temporary file is left: $(ls "$WORK/home")"; fi
}

TWO_ROWS=1100000000000000
NO_ROWS=0000000000000000

log "a file with CR-only line ends: its two rows are drawn; Quitter keeps it byte for byte"
prepare
start_kestrow
wait_until 5 "rows 1 and 2 drawn, the others empty" list_shows $TWO_ROWS
quit_program
unchanged "Quitter without a change"

log "no file: Quitter leaves none"
rm -f "$SCORES"
start_kestrow
quit_program
[[ ! -e $SCORES ]] || fail "Quitter without a change created the file: $(od -c "$SCORES")"

log "Effacer la liste, Non: the rows stay and the file is untouched"
prepare
start_kestrow
wait_until 5 "the two rows drawn" list_shows $TWO_ROWS
ask_to_clear
answer_no
list_shows $TWO_ROWS || fail "the rows changed after Non: $(rows_drawn)"
quit_program
unchanged "Effacer la liste, Non, Quitter"

log "Effacer la liste, Oui: the list empties and Quitter writes nineteen lines"
prepare
start_kestrow
wait_until 5 "the two rows drawn" list_shows $TWO_ROWS
ask_to_clear
answer_yes
wait_until 5 "the list empty after Oui" list_shows $NO_ROWS
quit_program
cleared "Effacer la liste, Oui, Quitter"

# terminate WHEN: SIGTERM must end the program with exit code 0 within 5 s.
terminate() {
  kill -TERM "$KPID"
  wait_exit 5
  ((EXIT_CODE != 124)) || fail "the program is still running 5 s after SIGTERM $1"
  ((EXIT_CODE == 0)) || fail "exit code $EXIT_CODE after SIGTERM $1"
}

log "Effacer la liste, Oui, then SIGTERM: the file is written too"
prepare
start_kestrow
wait_until 5 "the two rows drawn" list_shows $TWO_ROWS
ask_to_clear
answer_yes
wait_until 5 "the list empty after Oui" list_shows $NO_ROWS
terminate "after Oui"
cleared "Effacer la liste, Oui, SIGTERM"

log "SIGTERM while the confirmation box is up: the program ends, the file untouched"
prepare
start_kestrow
wait_until 5 "the two rows drawn" list_shows $TWO_ROWS
ask_to_clear
terminate "under the box"
unchanged "Effacer la liste, SIGTERM under the box"

log "passed"
