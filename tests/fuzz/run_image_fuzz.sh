#!/usr/bin/env bash
# Builds the image reader's libFuzzer target with clang (the main build uses g++) into the current
# directory and runs it from the seed corpus for a bounded time.
# Usage: run_image_fuzz.sh SOURCE_DIR [SECONDS] [more libFuzzer options...]
set -euo pipefail
src=$(cd "$1" && pwd)
seconds=${2:-20}
shift $(( $# < 2 ? $# : 2 ))
cxx=${ZR_FUZZ_CXX:-clang++-14}

sources=("$src"/platform/d3dx9/image_file.cpp "$src"/platform/d3dx9/image_resample.cpp
         "$src"/platform/d3dx9/image_stb.cpp "$src"/tests/fuzz/image_fuzz.cpp)
headers=("$src"/platform/d3dx9/image_file.h "$src"/platform/d3dx9/image_stb.h "$src"/platform/include/*.h)
binary=./image_fuzz
rebuild=0
[ -x "$binary" ] || rebuild=1
for f in "${sources[@]}" "${headers[@]}" "$0"; do
  [ "$f" -nt "$binary" ] && rebuild=1
done
if [ $rebuild -eq 1 ]; then
  echo "Building $binary with $cxx"
  flags=(-std=c++20 -g -O1 -Wall -Wextra -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
         -fno-sanitize-recover=undefined -I"$src"/platform/include -I"$src"/platform/d3dx9)
  read -r -a pngflags <<< "$(pkg-config --cflags libpng)"
  read -r -a pnglibs <<< "$(pkg-config --libs libpng)"
  objects=()
  for s in "${sources[@]}"; do
    extra=()
    # As in the main build: stb's unset locals zeroed (clang 14 wants the flag it will drop).
    [ "$(basename "$s")" = image_stb.cpp ] &&
      extra=(-ftrivial-auto-var-init=zero -enable-trivial-auto-var-init-zero-knowing-it-will-be-removed-from-clang)
    o=$(basename "$s" .cpp).o
    "$cxx" "${flags[@]}" "${extra[@]}" "${pngflags[@]}" -c "$s" -o "$o"
    objects+=("$o")
  done
  "$cxx" "${flags[@]}" "${objects[@]}" "${pnglibs[@]}" -o "$binary.new"
  mv "$binary.new" "$binary"
fi

# New inputs go to a working corpus here; the seeds in the source tree stay as they are.
mkdir -p corpus artifacts
exec "$binary" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
  -artifact_prefix=artifacts/ -print_final_stats=1 "$@" corpus "$src"/tests/fuzz/corpus
