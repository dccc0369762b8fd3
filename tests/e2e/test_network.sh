#!/usr/bin/env bash
# A score server that accepts connections and never answers never freezes the program: the
# window shows at once while the start-up fetch waits, it paints itself again when uncovered, it
# takes no command meanwhile, and SIGTERM or the window manager's close end it at once, during
# the start-up fetch and during the fetch that confirming the preferences makes.
# The program talks to its build's score server, localhost:80, which this test plays.
source "$(dirname "$0")/lib.sh" "$@"

command -v cc >/dev/null || fail "no C compiler for the helpers"
for helper in silent_server cover_window send_close; do
  cc -o "$WORK/$helper" "$E2E_DIR/$helper.c" -lX11 || fail "$helper.c does not compile"
done

start_xvfb

# serve ANSWERED: a server on port 80 that answers ANSWERED requests, then never again.
SERVER_PID=""
serve() {
  [[ -z $SERVER_PID ]] || _stop_pid "$SERVER_PID"
  start_child "$WORK/silent_server" 80 "$1" "Ann|6000"
  SERVER_PID=$LAST_CHILD
  sleep 0.2
  kill -0 "$SERVER_PID" 2>/dev/null || fail "no server on port 80: $(cat "$WORK/children.log")"
}

# The window paints itself again after another window covered part of it.
repaints_when_uncovered() {
  local before after
  shoot
  before=$(region_sig "$SHOT" 340 160 240 260)
  "$WORK/cover_window" $((WX + 340)) $((WY + 160)) 240 260
  sleep 0.3
  shoot
  after=$(region_sig "$SHOT" 340 160 240 260)
  [[ $before == "$after" ]] || fail "$1: the uncovered part of the window was not painted again"
}

# "Nouvelle partie" is refused while the exchange runs: no countdown within 1.5 s.
commands_refused() {
  click_button new
  local deadline=$(($(now_ms) + 1500))
  while (($(now_ms) < deadline)); do
    shoot
    countdown_shown && fail "$1: \"Nouvelle partie\" started a game during the exchange"
  done
  return 0
}

# ends_at_once WHAT ACTION...: the program ends with code 0 within 2 s (it would wait for the
# exchange's 10 s bound if the exchange held it).
ends_at_once() {
  local what=$1 start
  shift
  start=$(now_ms)
  "$@"
  wait_exit 5
  ((EXIT_CODE != 124)) || fail "$what: still running 5 s later"
  ((EXIT_CODE == 0)) || fail "$what: exit code $EXIT_CODE"
  local elapsed=$(($(now_ms) - start))
  log "$what: ended after $elapsed ms"
  ((elapsed < 2000)) || fail "$what: ended only after $elapsed ms"
}

log "start-up fetch from a server that never answers"
serve 0
started=$(now_ms)
start_kestrow
log "window mapped $(($(now_ms) - started)) ms after the start"
(($(now_ms) - started < 5000)) || fail "the window waited for the start-up fetch"
repaints_when_uncovered "start-up fetch"
commands_refused "start-up fetch"
ends_at_once "SIGTERM during the start-up fetch" kill -TERM "$KPID"

start_kestrow
ends_at_once "the window manager's close during the start-up fetch" "$WORK/send_close" "$WIN"

log "the preferences confirmed while the server stops answering"
serve 1
start_kestrow
sleep 1
click_button prefs
PREFS=""
prefs_shown() { PREFS=$(xdotool search --onlyvisible --name 'préférences' 2>/dev/null | head -n 1); [[ -n $PREFS ]]; }
wait_until 5 "the preferences window" prefs_shown
read -r PX PY < <(xwininfo -id "$PREFS" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{print x, y}')
xdotool mousemove $((PX + 72)) $((PY + 285)) click 1
sleep 0.5
repaints_when_uncovered "fetch after the preferences"
ends_at_once "SIGTERM during the fetch after the preferences" kill -TERM "$KPID"

log "passed"
