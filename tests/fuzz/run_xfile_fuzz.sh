#!/usr/bin/env bash
# Builds the libFuzzer target of the .X mesh reader (text, binary and MSZIP-compressed) with clang
# (the main build may use g++) into the current directory and runs it from its seed corpus for a
# bounded time.
# Usage: run_xfile_fuzz.sh SOURCE_DIR [SECONDS] [more libFuzzer options...]
set -euo pipefail
src=$(cd "$1" && pwd)
seconds=${2:-20}
shift $(( $# < 2 ? $# : 2 ))
cxx=${ZR_FUZZ_CXX:-clang++-14}

sources=("$src"/platform/d3dx9/xfile/*.cpp "$src"/tests/fuzz/xfile_fuzz.cpp)
headers=("$src"/platform/d3dx9/xfile/*.h "$src"/platform/include/*.h)
binary=./xfile_fuzz
rebuild=0
[ -x "$binary" ] || rebuild=1
for f in "${sources[@]}" "${headers[@]}" "$0"; do
  [ "$f" -nt "$binary" ] && rebuild=1
done
if [ $rebuild -eq 1 ]; then
  echo "Building $binary with $cxx"
  flags=(-std=c++20 -g -O1 -Wall -Wextra -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
         -fno-sanitize-recover=undefined -I"$src"/platform/include -I"$src"/platform/d3dx9/xfile)
  objects=()
  for s in "${sources[@]}"; do
    o=$(basename "$s" .cpp).o
    "$cxx" "${flags[@]}" -c "$s" -o "$o"
    objects+=("$o")
  done
  "$cxx" "${flags[@]}" "${objects[@]}" -lz -o "$binary.new"
  mv "$binary.new" "$binary"
fi

# New inputs go to a working corpus here; the seeds in the source tree stay as they are.
# Memory: the target caps the inflated stream at 1 MB (8 KB inputs of MSZIP blocks, at most 32 KB
# each, reach it), and every count is checked against the bytes left. The largest single block
# such a stream can ask for is 84 MB: the slots of a material list of 350,000 three-byte
# references "{m}", grown by doubling; after it the adjacency of a 520,000-triangle fan, 24 MB.
# Crafted inputs of both peak under 300 MB resident with AddressSanitizer's quarantine, as long
# runs do. Anything above these limits is the reader asking for more than its input justifies.
mkdir -p corpus artifacts
exec "$binary" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=128 \
  -artifact_prefix=artifacts/ -print_final_stats=1 "$@" corpus "$src"/tests/fuzz/xfile_corpus
