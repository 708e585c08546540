#!/usr/bin/env bash
# Builds the libFuzzer target of the DirectMusic file readers (WAV and MIDI) with clang (the main
# build may use g++) into the current directory and runs it from its seed corpus for a bounded time.
# Usage: run_sound_fuzz.sh SOURCE_DIR [SECONDS] [more libFuzzer options...]
set -euo pipefail
src=$(cd "$1" && pwd)
seconds=${2:-20}
shift $(( $# < 2 ? $# : 2 ))
cxx=${ZR_FUZZ_CXX:-clang++-14}

sources=("$src"/platform/dmusic/wave_file.cpp "$src"/platform/dmusic/midi_file.cpp "$src"/tests/fuzz/sound_fuzz.cpp)
headers=("$src"/platform/dmusic/sound_files.h "$src"/platform/include/*.h)
binary=./sound_fuzz
rebuild=0
[ -x "$binary" ] || rebuild=1
for f in "${sources[@]}" "${headers[@]}" "$0"; do
  [ "$f" -nt "$binary" ] && rebuild=1
done
if [ $rebuild -eq 1 ]; then
  echo "Building $binary with $cxx"
  flags=(-std=c++20 -g -O1 -Wall -Wextra -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
         -fno-sanitize-recover=undefined -I"$src"/platform/include -I"$src"/platform/dmusic)
  objects=()
  for s in "${sources[@]}"; do
    o=$(basename "$s" .cpp).o
    "$cxx" "${flags[@]}" -c "$s" -o "$o"
    objects+=("$o")
  done
  "$cxx" "${flags[@]}" "${objects[@]}" -o "$binary.new"
  mv "$binary.new" "$binary"
fi

# New inputs go to a working corpus here; the seeds in the source tree stay as they are.
mkdir -p corpus artifacts
exec "$binary" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
  -artifact_prefix=artifacts/ -print_final_stats=1 "$@" corpus "$src"/tests/fuzz/sound_corpus
