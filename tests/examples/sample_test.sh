#!/usr/bin/env bash
# Runs a sample program on the virtual display for a number of frames and checks what its last
# frame shows. Usage: sample_test.sh PROGRAM DATA_FOLDER boxes|mesh|mesh-minimum|missing-model
set -euo pipefail
program=$1 data=$2 mode=$3
here=$(cd "$(dirname "$0")" && pwd)
probe() { python3 "$here/sample_probe.py" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
at_least() {  # name count minimum
  echo "$1: $2 pixels"
  [ "$2" -ge "$3" ] || fail "$1: $2 pixels, expected at least $3"
}
# The glyphs of the two numbers of the mesh sample's "Dreiecke: N von M" line (faces drawn, of
# the maximum), the second line of text.
face_digits() {
  local words
  words=$(probe "$1" words:2 0 0 1024 120)
  echo "face count line, glyphs per word: $words" >&2
  set -- $words
  [ $# -ge 4 ] || fail "no face count line: $words"
  echo "$2 $4"
}

rm -f error.log shot.bmp
cp "$data"/crate.png "$data"/planet.png "$data"/ring_planet.x .

case $mode in
  boxes)
    "$program" --frames 60 --screenshot shot.bmp
    [ ! -e error.log ] || fail "error.log written: $(cat error.log)"
    at_least "text" "$(probe shot.bmp text 0 0 1024 120)" 500
    # The coloured box turns right of the middle, the crate left of it, over the floor.
    at_least "coloured box" "$(probe shot.bmp orange 512 150 1024 700)" 5000
    [ "$(probe shot.bmp orange 0 150 400 700)" -lt 500 ] || fail "orange on the crate's side"
    at_least "crate" "$(probe shot.bmp wood 0 150 512 768)" 5000
    at_least "floor" "$(probe shot.bmp lit 0 700 1024 768)" 30000
    ;;
  mesh | mesh-minimum)
    # The detail cycle lasts 16 s: full for 2 s, falling for 6, the minimum for 2, rising for 6.
    # Frame 60 is at full detail; frame 490 (8.2 s on the fixed 60 fps timeline) at the minimum.
    frames=60
    [ "$mode" = mesh ] || frames=490
    "$program" --frames $frames --screenshot shot.bmp
    [ ! -e error.log ] || fail "error.log written: $(cat error.log)"
    at_least "text" "$(probe shot.bmp text 0 0 1024 120)" 500
    at_least "planet and ring" "$(probe shot.bmp planet 312 200 712 600)" 20000
    # Land shows only where the planet's texture is drawn and lit.
    at_least "land" "$(probe shot.bmp land 312 200 712 600)" 5000
    # The maximum has four digits, the minimum (300 and a few) three.
    read -r shown most <<<"$(face_digits shot.bmp)"
    if [ "$mode" = mesh ]; then
      [ "$shown" -eq "$most" ] || fail "at full detail the face count has $shown digits, the maximum $most"
    else
      [ "$most" -eq 4 ] && [ "$shown" -eq 3 ] || fail "at the minimum the face count has $shown digits, the maximum $most"
    fi
    ;;
  missing-model)
    rm ring_planet.x
    status=0
    "$program" --frames 5 >out.txt 2>&1 || status=$?
    [ "$status" -ne 0 ] || fail "the sample went on without its model"
    grep -q "ring_planet.x" error.log || fail "error.log does not name the model: $(cat error.log 2>/dev/null)"
    ;;
  *) fail "unknown mode $mode" ;;
esac
echo "ok: $mode"
