#!/usr/bin/env bash
# The program as a user starts it: with a display it opens its window and closes on Alt+F4 with
# exit code 0; without one it says so and ends with exit code 0; its version record is readable.
set -u
duel=$1
mode=$2
fail() { echo "FAIL: $*"; exit 1; }

case "$mode" in
  version)
    out=$(readelf -p .rsrc_version "$duel") || fail "readelf failed"
    for s in "FileVersion 1.0.0.1" "ProductVersion 1.0.0.1" "FileDescription Velkor Editor" \
             "InternalName Velkor Editor" "ProductName Velkor Engine"; do
      grep -q "$s" <<<"$out" || fail "version record lacks '$s': $out"
    done ;;
  no-display)
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$duel" 2>&1)
    status=$?
    [ $status -eq 0 ] || fail "exit code $status"
    grep -q "Windows can't be created." <<<"$out" || fail "no message: $out"
    ;;
  window)
    log=$(mktemp)
    "$duel" >"$log" 2>&1 &
    pid=$!
    win=
    for _ in $(seq 100); do
      win=$(xwininfo -root -tree | awk '/"Velkor Editor"/ {print $1; exit}')
      [ -n "$win" ] && break
      kill -0 $pid 2>/dev/null || fail "the program ended early: $(cat "$log")"
      sleep 0.1
    done
    [ -n "$win" ] || fail "no window titled Velkor Editor"
    sleep 1
    kill -0 $pid 2>/dev/null || fail "the program ended early: $(cat "$log")"
    xdotool key --window "$win" alt+F4
    for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -0 $pid 2>/dev/null && { kill $pid; fail "Alt+F4 did not end the program"; }
    wait $pid
    status=$?
    [ $status -eq 0 ] || fail "exit code $status: $(cat "$log")"
    [ ! -s error.log ] || fail "error.log written: $(cat error.log)"
    ;;
esac
echo "ok: $mode"
