#!/usr/bin/env bash
# A game won on the real window with "Scores Internet" on is verified by the real score server:
# the game takes its seed from the server during the countdown, a player bot that knows the
# pieces from that seed (read from the server's database) plays the whole game with xdotool at
# a human pace (about four minutes), and the time shows verified in /scores.json. The same
# submission with one byte of its replay changed is refused, and offline (kestrow-scores
# --verify) the replay verifies while none of forty one-byte changes of it does.
# The program talks to its build's score server, localhost:80: a proxy there passes every
# request on to kestrow-scores and keeps the bodies, so the test can post the game's own again.
# In a network namespace of its own (when it may make one) the test has that port to itself.
if [[ -z ${KESTROW_E2E_OWN_NETWORK:-} ]] && command -v ip >/dev/null &&
  unshare --net true 2>/dev/null; then
  exec unshare --net env KESTROW_E2E_OWN_NETWORK=1 bash "$0" "$@"
fi
# The submission carries the address of an adapter: the namespace gets one.
if [[ -n ${KESTROW_E2E_OWN_NETWORK:-} ]]; then
  ip link set lo up
  ip link add kestrow0 type veth peer name kestrow1
fi
source "$(dirname "$0")/lib.sh" "$@"

BUILD=$(dirname "$KESTROW_BIN")
SERVER_BIN=$BUILD/server/kestrow-scores
PLAN_BIN=$BUILD/tests/replay_plan
for program in "$SERVER_BIN" "$PLAN_BIN"; do
  [[ -x $program ]] || fail "no $program (build the kestrow-scores and replay_plan targets)"
done
for tool in cc sqlite3 curl; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
cc -o "$WORK/recording_proxy" "$E2E_DIR/recording_proxy.c" || fail "recording_proxy.c does not compile"

start_xvfb

DB=$WORK/scores.db
REQUESTS=$WORK/requests.log
start_child "$SERVER_BIN" --listen 127.0.0.1 --port 0 --db "$DB"
server_listening() { grep -q '^listening on 127.0.0.1:' "$WORK/children.log"; }
wait_until 10 "kestrow-scores listening" server_listening
PORT=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$WORK/children.log")
start_child "$WORK/recording_proxy" 80 "$PORT" "$REQUESTS"
sleep 0.2
kill -0 "$LAST_CHILD" 2>/dev/null || fail "no proxy on port 80: $(cat "$WORK/children.log")"
SERVER_URL="http://127.0.0.1:$PORT"

# Sounds off, ghost on, internet scores on, default keys.
printf 'Bot\r\n0|1|1|0\r\n39|37|38|17|40|16\r\n' >"$WORK/home/Scores.zorvik"
start_kestrow

log "a new game: the seed is asked during the countdown"
click_button new
SEED=""
seed_issued() {
  SEED=$(sqlite3 "$DB" "SELECT printf('%016x', seed) FROM seeds" 2>/dev/null)
  [[ -n $SEED ]]
}
wait_until 5 "a seed issued to the game" seed_issued
[[ $SEED =~ ^[0-9a-f]{16}$ ]] || fail "not one seed issued: $SEED"
"$PLAN_BIN" "$SEED" >"$WORK/plan.xdo" 2>"$WORK/plan.txt" ||
  fail "the bot finds no won game for seed $SEED: $(cat "$WORK/plan.txt")"
log "seed $SEED, planned: $(cat "$WORK/plan.txt")"
first_piece_shown() { new_piece_shown && ! countdown_shown; }
wait_until 10 "the first piece" first_piece_shown

log "the bot plays"
started=$(now_ms)
timeout 400 xdotool "$WORK/plan.xdo" || fail "xdotool did not play the whole plan"
log "played in $(($(now_ms) - started)) ms"

# The program's dialog that has the keyboard focus and a title ending with $1.
dialog_shown() {
  local w
  for w in $(program_dialogs); do
    [[ $(xprop -id "$w" _NET_WM_NAME 2>/dev/null) == *"$1\"" ]] || continue
    (($(xdotool getwindowfocus 2>/dev/null || echo 0) == $(printf '%d' "$w"))) && return 0
  done
  return 1
}
no_dialog() { [[ -z $(program_dialogs) ]]; }
wait_until 20 "the name prompt" dialog_shown "Kestrow"
press_key Return
wait_until 20 "the box telling the first place on the server" dialog_shown "licitations!!!"
press_key Return
wait_until 10 "the box to close" no_dialog

SUBMISSION=$(grep '^action=set&' "$REQUESTS" | tail -n 1)
[[ -n $SUBMISSION ]] || fail "no submission reached the server: $(cat "$REQUESTS")"
[[ $(grep -c '^action=seed$' "$REQUESTS") == 1 ]] || fail "not one seed request: $(cat "$REQUESTS")"
REPLAY=${SUBMISSION##*&rep=}
[[ $REPLAY != "$SUBMISSION" ]] || fail "the submission has no replay: $SUBMISSION"
log "the game's replay: $("$PLAN_BIN" --read <<<"$REPLAY")"
status() { sqlite3 "$DB" "SELECT status FROM results ORDER BY rowid DESC LIMIT 1"; }
[[ $(status) == verified ]] || fail "the game's result is \"$(status)\", not verified"
scores=$(curl -s "$SERVER_URL/scores.json")
[[ $scores == '[{"rank":1,"name":"Bot",'*'"verified":true}]' ]] ||
  fail "/scores.json does not show Bot's time verified: $scores"

# The replay with its character AT changed.
changed_at() {
  local other=A
  [[ ${REPLAY:$1:1} == A ]] && other=B
  echo "${REPLAY:0:$1}$other${REPLAY:$1+1}"
}

log "the same submission with one byte of its replay changed"
answer=$(curl -s --data-binary "${SUBMISSION%&rep=*}&rep=$(changed_at $((${#REPLAY} / 2)))" \
  "$SERVER_URL/public/index.php?a=KestrowRes")
# Refused for what the replay shows, before its seed, now used, is looked at.
[[ $(status) == refused:* && $(status) != refused:seed_reused ]] ||
  fail "the changed replay is \"$(status)\", not refused for its content"
log "refused as \"$(status)\", rank answered \"$answer\""
[[ $(curl -s "$SERVER_URL/scores.json") == "$scores" ]] ||
  fail "the list changed: $(curl -s "$SERVER_URL/scores.json")"

log "offline, the replay verifies and none of forty one-byte changes of it does"
echo "$REPLAY" >"$WORK/replay.txt"
"$SERVER_BIN" --verify "$WORK/replay.txt" >"$WORK/verify.txt" ||
  fail "the game's replay does not verify offline: $(cat "$WORK/verify.txt")"
for ((at = 0; at < ${#REPLAY}; at += ${#REPLAY} / 40 + 1)); do
  changed_at $at >"$WORK/changed.txt"
  ! "$SERVER_BIN" --verify "$WORK/changed.txt" >/dev/null ||
    fail "the replay with its character $at changed still verifies"
done

log "passed"
