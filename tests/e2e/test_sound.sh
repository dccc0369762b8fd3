#!/usr/bin/env bash
# The real program's sound output. Through SDL's disk driver the audio of a game lands in a file
# and is not silent; with no usable audio driver at all the program falls back to a silent
# output, shows no message and plays on. Both runs end cleanly with the "Quitter" button.
source "$(dirname "$0")/lib.sh" "$@"

start_xvfb

# peak FILE: the largest absolute value among the file's signed 16-bit samples.
peak() {
  od -An -v -td2 -w2 "$1" | awk '{ v = $1 < 0 ? -$1 : $1; if (v > m) m = v } END { print m + 0 }'
}
audio_loud() { [[ -s $AUDIO ]] && (($(peak "$AUDIO") > 1000)); }
problem_box_shown() { xdotool search --onlyvisible --name '^Problème$' >/dev/null 2>&1; }
chrono_changed() { shoot; [[ $(chrono_sig) != "$1" ]]; }
# What the program printed that tells of a fault (SDL's disk driver announces itself as CRITICAL).
complaints() {
  grep -E 'CRITICAL|Segmentation|Aborted|terminate called' "$WORK/kestrow.log" |
    grep -Ev 'SDL disk i/o audio driver|Writing to file' || true
}

# play_countdown: starts a game and waits until its countdown is over and the clock runs.
play_countdown() {
  click_button new
  wait_until 3 "the countdown" screen_shows countdown_shown
  shoot
  local before
  before=$(chrono_sig)
  wait_until 8 "the chronometer running after the countdown" chrono_changed "$before"
}

quit_cleanly() {
  click_button quit
  wait_exit 5
  ((EXIT_CODE != 124)) || fail "$1: the program is still running 5 s after Quitter"
  ((EXIT_CODE == 0)) || fail "$1: exit code $EXIT_CODE"
  local complained
  complained=$(complaints)
  [[ -z $complained ]] || fail "$1: the program complained: $complained"
}

log "disk driver: the countdown's notes reach the audio file"
AUDIO=$WORK/audio.raw
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$AUDIO
start_kestrow
audio_loud && fail "the audio file is loud before any game"
play_countdown
wait_until 5 "non-silent audio in $AUDIO" audio_loud
problem_box_shown && fail "a \"Problème\" message box is shown"
quit_cleanly "disk driver"
log "disk driver: $(($(stat -c %s "$AUDIO") / 4)) frames written, peak $(peak "$AUDIO")"

log "no usable audio driver: silent output, no message, the game plays"
export SDL_AUDIODRIVER=kestrow-no-such-driver
unset SDL_DISKAUDIOFILE
started=$(now_ms)
start_kestrow
log "window shown $(($(now_ms) - started)) ms after the start"
play_countdown
problem_box_shown && fail "a \"Problème\" message box is shown"
quit_cleanly "no audio driver"

log "passed"
