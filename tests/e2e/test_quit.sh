#!/usr/bin/env bash
# Every way of ending the program ends it cleanly with exit code 0: the "Quitter" button,
# SIGTERM, SIGINT and a window manager's close request (WM_DELETE_WINDOW), each both on the
# start screen and during a game; and none of them leaves GTK warnings behind.
source "$(dirname "$0")/lib.sh" "$@"

command -v cc >/dev/null || fail "no C compiler to build send_close"
cc -o "$WORK/send_close" "$E2E_DIR/send_close.c" -lX11 || fail "send_close.c does not compile"

start_xvfb

in_game() {
  click_button new
  wait_until 3 "the countdown" screen_shows countdown_shown
}

# ends_with_zero DESCRIPTION SETUP ACTION...: starts the program, runs SETUP (a function or
# "true"), then ACTION, and expects the process to end with code 0 within 5 s.
ends_with_zero() {
  local what=$1 setup=$2
  shift 2
  log "$what"
  local log_start
  touch "$WORK/kestrow.log"
  log_start=$(($(wc -c <"$WORK/kestrow.log") + 1))
  start_kestrow
  "$setup"
  "$@"
  wait_exit 5
  ((EXIT_CODE != 124)) || fail "$what: the program is still running 5 s later"
  ((EXIT_CODE == 0)) || fail "$what: exit code $EXIT_CODE"
  local output
  output=$(tail -c +"$log_start" "$WORK/kestrow.log")
  if grep -Eq 'CRITICAL|WARNING|Gtk-|GLib-|Segmentation|Aborted' <<<"$output"; then
    fail "$what: the program complained on the way out: $output"
  fi
}

quit_button() { click_button quit; }
term() { kill -TERM "$KPID"; }
int() { kill -INT "$KPID"; }
close_request() { "$WORK/send_close" "$WIN" || fail "send_close failed"; }

ends_with_zero "Quitter on the start screen" true quit_button
ends_with_zero "Quitter during a game" in_game quit_button
ends_with_zero "SIGTERM on the start screen" true term
ends_with_zero "SIGTERM during a game" in_game term
ends_with_zero "SIGINT on the start screen" true int
ends_with_zero "SIGINT during a game" in_game int
ends_with_zero "WM_DELETE_WINDOW on the start screen" true close_request
ends_with_zero "WM_DELETE_WINDOW during a game" in_game close_request

log "passed"
