#!/usr/bin/env bash
# Builds a libFuzzer target with clang (the main build uses g++) and fuzzes it from its seed corpus
# for a bounded time. Called as run_image_fuzz.sh, run_sound_fuzz.sh or run_xfile_fuzz.sh:
#   run_NAME_fuzz.sh SOURCE_DIR [SECONDS] [more libFuzzer options...]
# It builds ./NAME_fuzz here when that is missing or older than its sources; new inputs collect in
# corpus/, failing ones in artifacts/. ZR_FUZZ_BUILD_ONLY=1: build only (the build does this);
# ZR_FUZZ_BINARY: run that binary, build nothing (the tests do this).
set -euo pipefail
name=$(basename "$0" _fuzz.sh) && name=${name#run_}
src=$(cd "$1" && pwd)
seconds=${2:-20}
shift $(( $# < 2 ? $# : 2 ))
cxx=${ZR_FUZZ_CXX:-clang++-14}
flags=(-std=c++20 -g -O1 -Wall -Wextra -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I"$src"/platform/include)
limits=(-rss_limit_mb=2048 -malloc_limit_mb=256)
case $name in
  image) dir=platform/d3dx9 sources=("$src"/platform/d3dx9/image_{bmp,file,resample,stb}.cpp) seeds=corpus
         read -r -a libs <<< "$(pkg-config --libs libpng)" && flags+=($(pkg-config --cflags libpng)) ;;
  sound) dir=platform/dmusic sources=("$src"/platform/dmusic/{wave,midi}_file.cpp) seeds=sound_corpus libs=() ;;
  # The reader caps the inflated stream at 1 MB and checks every count against the bytes left; its
  # largest block (the slots of a 350,000-reference material list) is 84 MB, and crafted inputs
  # peak under 300 MB resident with AddressSanitizer's quarantine. More is a fault.
  xfile) dir=platform/d3dx9/xfile sources=("$src"/platform/d3dx9/xfile/*.cpp) seeds=xfile_corpus libs=(-lz)
         limits=(-rss_limit_mb=1024 -malloc_limit_mb=128) ;;
esac
binary=${ZR_FUZZ_BINARY:-./${name}_fuzz}
if [ "${ZR_FUZZ_BUILD_ONLY:-0}" = 1 ] || { [ -z "${ZR_FUZZ_BINARY:-}" ] && [ -n "$(find "$src/$dir" \
     "$src/platform/include" "$src/tests/fuzz" -maxdepth 1 -newer "$binary" 2>/dev/null || echo missing)" ]; }; then
  echo "Building $binary with $cxx"
  objects=()
  for s in "${sources[@]}" "$src/tests/fuzz/${name}_fuzz.cpp"; do
    objects+=("${name}_fuzz.$(basename "$s" .cpp).o")
    # As in the main build, stb's unset locals zeroed (clang 14 wants the flag it will drop).
    [ "${s##*/}" = image_stb.cpp ] && extra=(-ftrivial-auto-var-init=zero
      -enable-trivial-auto-var-init-zero-knowing-it-will-be-removed-from-clang) || extra=()
    "$cxx" "${flags[@]}" "${extra[@]}" -I"$src/$dir" -c "$s" -o "${objects[-1]}"
  done
  "$cxx" "${flags[@]}" "${objects[@]}" "${libs[@]}" -o "$binary.new" && mv "$binary.new" "$binary"
fi
[ "${ZR_FUZZ_BUILD_ONLY:-0}" = 1 ] && exit 0
mkdir -p corpus artifacts  # the seeds in the source tree stay as they are
# Quiet: a failure's report is then what a test log shows, not hidden among thousands of lines of
# progress (a log cut short in the middle lost one). A unit may take 30 seconds, which no input
# comes near on an idle machine; a loaded one can stall for seconds.
touch artifacts/.started
status=0
"$binary" -max_total_time="$seconds" -max_len=8192 -timeout=30 "${limits[@]}" -artifact_prefix=artifacts/ \
  -verbosity=0 -print_final_stats=1 "$@" corpus "$src/tests/fuzz/$seeds" || status=$?
# A failing input, whatever its size, in the log: the scratch folder it stays in may be gone.
for f in artifacts/*; do
  [ -f "$f" ] && [ "$f" -nt artifacts/.started ] && { echo "$f, base64:"; base64 -w 120 "$f"; }
done
exit $status
