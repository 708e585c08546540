#!/usr/bin/env bash
# A message box on a display is a real dialog: it waits until a key answers it.
set -u
probe=$1
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }

answer() {  # type, key, expected output
  out=$(mktemp)
  "$probe" "$1" >"$out" 2>&1 &
  pid=$!
  win=
  for _ in $(seq 100); do
    win=$(xwininfo -root -tree | awk '/"Probe Error"/ {print $1; exit}')
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the box returned before it was answered: $(cat "$out")"
    sleep 0.1
  done
  [ -n "$win" ] || fail "no dialog window appeared"
  sleep 0.5
  kill -0 "$pid" 2>/dev/null || fail "the box returned before it was answered: $(cat "$out")"
  xdotool key --window "$win" "$2"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "the dialog did not close on $2"
  wait "$pid" || fail "the probe ended with status $?: $(cat "$out")"
  grep -qx "pressed $3" "$out" || fail "expected 'pressed $3', got: $(cat "$out")"
  rm -f "$out"
}

answer 0 Return 1        # MB_OK: Return presses OK
answer 1 Escape 2        # MB_OKCANCEL: Escape presses Cancel
answer 0x104 Return 7    # MB_YESNO | MB_DEFBUTTON2: Return presses No
echo "dialogs answered"
