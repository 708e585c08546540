#!/usr/bin/env bash
# Builds one of the libFuzzer targets with clang (the main build uses g++) and fuzzes it from its
# seed corpus for a bounded time. Its name says which: run_image_fuzz.sh, run_sound_fuzz.sh and
# run_xfile_fuzz.sh are this script.
# Usage: run_NAME_fuzz.sh SOURCE_DIR [SECONDS] [more libFuzzer options...]
# ./NAME_fuzz is built in the current directory when missing or older than its sources; new inputs
# collect in corpus/, failing ones in artifacts/. With ZR_FUZZ_BUILD_ONLY=1 it only builds (the
# build does this); with ZR_FUZZ_BINARY it runs that binary and builds nothing (the tests do this).
set -euo pipefail
name=$(basename "$0" _fuzz.sh)
name=${name#run_}
src=$(cd "$1" && pwd)
seconds=${2:-20}
shift $(( $# < 2 ? $# : 2 ))
flags=(-std=c++20 -g -O1 -Wall -Wextra -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I"$src"/platform/include)
libs=()
limits=(-rss_limit_mb=2048 -malloc_limit_mb=256)
case $name in
  image) dir=platform/d3dx9; sources=("$src/$dir"/image_{file,resample,stb}.cpp); seeds=corpus
         read -r -a libs <<< "$(pkg-config --libs libpng)"
         read -r -a more <<< "$(pkg-config --cflags libpng)"; flags+=("${more[@]}") ;;
  sound) dir=platform/dmusic; sources=("$src/$dir"/{wave,midi}_file.cpp); seeds=sound_corpus ;;
  # The reader caps the inflated stream at 1 MB and checks every count against the bytes left; its
  # largest single block (the slots of a 350,000-reference material list) is 84 MB, and crafted
  # inputs peak under 300 MB resident with AddressSanitizer's quarantine. More is a fault.
  xfile) dir=platform/d3dx9/xfile; sources=("$src/$dir"/*.cpp); seeds=xfile_corpus
         libs=(-lz); limits=(-rss_limit_mb=1024 -malloc_limit_mb=128) ;;
  *) echo "run_fuzz.sh: call it as run_image_fuzz.sh, run_sound_fuzz.sh or run_xfile_fuzz.sh" >&2; exit 2 ;;
esac
binary=${ZR_FUZZ_BINARY:-./${name}_fuzz}
if [ "${ZR_FUZZ_BUILD_ONLY:-0}" = 1 ] || [ -z "${ZR_FUZZ_BINARY:-}" ] && [ -n "$(find "$src/$dir" "$src/platform/include" "$src/tests/fuzz" -maxdepth 1 \
     -newer "$binary" \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' \) 2>/dev/null || echo missing)" ]; then
  echo "Building $binary with ${ZR_FUZZ_CXX:-clang++-14}"
  objects=()
  for s in "${sources[@]}" "$src/tests/fuzz/${name}_fuzz.cpp"; do
    extra=()
    # As in the main build: stb's unset locals zeroed (clang 14 wants the flag it will drop).
    [ "${s##*/}" = image_stb.cpp ] &&
      extra=(-ftrivial-auto-var-init=zero -enable-trivial-auto-var-init-zero-knowing-it-will-be-removed-from-clang)
    objects+=("${name}_fuzz.$(basename "$s" .cpp).o")
    "${ZR_FUZZ_CXX:-clang++-14}" "${flags[@]}" "${extra[@]}" -I"$src/$dir" -c "$s" -o "${objects[-1]}"
  done
  "${ZR_FUZZ_CXX:-clang++-14}" "${flags[@]}" "${objects[@]}" "${libs[@]}" -o "$binary.new"
  mv "$binary.new" "$binary"
fi
[ "${ZR_FUZZ_BUILD_ONLY:-0}" = 1 ] && exit 0
# New inputs go to a working corpus here; the seeds in the source tree stay as they are.
mkdir -p corpus artifacts
exec "$binary" -max_total_time="$seconds" -max_len=8192 -timeout=10 "${limits[@]}" -artifact_prefix=artifacts/ \
  -print_final_stats=1 "$@" corpus "$src/tests/fuzz/$seeds"
