#!/usr/bin/env bash
# The program as a user runs it, on a virtual X display where one is needed.
#   program_test.sh <duel binary> <run folder with objects/> <mode>
# Each run gets a fresh run folder of its own here (duel/ as the working directory, objects/ from
# the build), so that error.log lands in the test's scratch folder.
set -u
duel=$1
data=$2/objects
mode=$3
fail() { echo "FAIL: $*"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; exit 1; }

# A run folder; a file named in $1 (relative to objects/) is left out.
prepare() {
  rm -rf run && mkdir -p run/duel run/objects/textures run/objects/sfx
  for f in "$data"/textures/* "$data"/sfx/*; do
    rel=${f#"$data"/}
    [ "$rel" = "${1:-}" ] || ln -s "$f" "run/objects/$rel"
  done
}

start() {
  (cd run/duel && exec "$duel") >game.out 2>&1 &
  pid=$!
  win=
  for _ in $(seq 150); do
    win=$(xwininfo -root -tree | awk '/"Velkor Editor"/ {print $1; exit}')
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended early: $(cat game.out)"
    sleep 0.1
  done
  [ -n "$win" ] || fail "no window titled Velkor Editor"
  sleep 1.5  # the full-screen window gets the focus after a moment
}

# Waits for the program to end; fails unless it ends with exit code 0 within $1 seconds.
ends() {
  for _ in $(seq $(( $1 * 10 ))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end: $(cat game.out)"
  wait "$pid"
  status=$?
  pid=
  [ $status -eq 0 ] || fail "exit code $status: $(cat game.out)"
}

case "$mode" in
  version)
    out=$(readelf -p .rsrc_version "$duel") || fail "readelf failed"
    for s in "FileVersion 1.0.0.1" "ProductVersion 1.0.0.1" "FileDescription Velkor Editor" \
             "InternalName Velkor Editor" "ProductName Velkor Engine"; do
      grep -q "$s" <<<"$out" || fail "version record lacks '$s': $out"
    done ;;
  exports)
    out=$(nm -DC "$duel") || fail "nm failed"
    for s in "DXTestForError(" "ExceptionGameError(" "zr_Sprite::Render(int, int)" \
             "zr_TextureManager::AddTexture(" "zr_InputManager::GetKeyboardInput(" \
             "zr_DirectXGraphics::Present()" "zr_Font::RenderText("; do
      grep -q " T .*$s" <<<"$out" || fail "not exported: $s"
    done ;;
  no-display)
    prepare
    out=$(cd run/duel && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$duel" 2>&1)
    status=$?
    [ $status -eq 0 ] || fail "exit code $status"
    grep -q "Windows can't be created." <<<"$out" || fail "no message: $out"
    ;;
  close)
    prepare
    start
    xdotool key --window "$win" alt+F4
    ends 5
    [ ! -s run/duel/error.log ] || fail "error.log written: $(cat run/duel/error.log)"
    ;;
esac
echo "ok: $mode"
