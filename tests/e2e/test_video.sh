#!/usr/bin/env bash
# Recording a game in the real window: "Capture vidéo" ticked in the preferences, "Nouvelle
# partie", Enter in the compression dialog, a few seconds of play, Escape, "Quitter"; the
# Kestrow.avi left in the program's working directory is read to its last frame by ffprobe.
source "$(dirname "$0")/lib.sh" "$@"
command -v ffprobe >/dev/null || fail "ffprobe is not installed (scripts/install-deps)"

# find_window TITLE: sets FOUND to the shown window with exactly this title.
find_window() {
  FOUND=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
  [[ -n $FOUND ]]
}
window_gone() { ! find_window "$1"; }
# click_in WINDOW X Y: a click at a point of another window.
click_in() {
  local x y
  read -r x y < <(xwininfo -id "$1" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{print x, y}')
  xdotool mousemove $((x + $2)) $((y + $3)) click 1
}

start_xvfb
start_kestrow

# The program's working directory, where it writes the video.
cd "$WORK/home"

# The video library is loaded only once recording is considered: by the preferences window.
video_library_loaded() { grep -q libavformat "/proc/$KPID/maps"; }
video_library_loaded && fail "the video library is loaded at start, before recording is considered"

log "Préférences: tick \"Capture vidéo\", OK"
click_button prefs
wait_until 5 "the preferences window" find_window "Kestrow préférences"
video_library_loaded || fail "the video library is not loaded with the preferences window open"
prefs=$FOUND
click_in "$prefs" 25 98
sleep 0.3
click_in "$prefs" 72 285
wait_until 5 "the preferences window to close" window_gone "Kestrow préférences"

log "Nouvelle partie: the compression dialog, confirmed with Enter"
click_button new
wait_until 5 "the compression dialog" find_window "Compression vidéo"
xdotool windowfocus --sync "$FOUND" 2>/dev/null || true
press_key Return
wait_until 5 "the compression dialog to close" window_gone "Compression vidéo"
[[ -e Kestrow.avi ]] || fail "no Kestrow.avi once the dialog was confirmed"
wait_until 8 "a piece at the top of the well" new_piece_shown

log "playing, then Escape, then Quitter"
sleep 3
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
press_key Escape
sleep 1
click_button quit
wait_exit 10
((EXIT_CODE != 124)) || fail "the program did not end after Quitter"

log "the video is read to its last frame"
probe=$(ffprobe -v error -count_frames -count_packets -show_entries \
  format=nb_streams:stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_frames,nb_read_frames,nb_read_packets \
  -of default=nw=1 Kestrow.avi 2>&1) || fail "ffprobe cannot read Kestrow.avi: $probe"
field() { sed -n "s/^$1=//p" <<<"$probe"; }
log "$(tr '\n' ' ' <<<"$probe")"
[[ $(grep -vc = <<<"$probe") == 0 ]] || fail "ffprobe complains: $probe"
[[ $(field nb_streams) == 1 ]] || fail "not one stream"
[[ $(field codec_name) == mpeg4 && $(field codec_tag_string) == DIVX ]] || fail "not MPEG-4 tagged DIVX"
[[ $(field width) == 588 && $(field height) == 588 ]] || fail "frames are not 588 × 588"
[[ $(field r_frame_rate) == 25/1 ]] || fail "not 25 frames a second"
frames=$(field nb_read_frames)
[[ $frames == "$(field nb_read_packets)" ]] || fail "$frames frames decoded of $(field nb_read_packets)"
[[ $frames == "$(field nb_frames)" ]] || fail "the header counts $(field nb_frames) frames of $frames"
# About four seconds of play and idle window at 25 frames a second.
((frames >= 50 && frames <= 250)) || fail "$frames frames for about 4 s of recording"

log "passed"
