#!/usr/bin/env bash
# The engine and the game as others get them, in the test's scratch folder:
#   install_test.sh SOURCE BUILD engine-installed   a program of its own against the installed engine
#   install_test.sh SOURCE BUILD engine-subdirectory  the same program with the engine's sources added
set -euo pipefail
source=$1 build=$2 mode=$3
here=$(dirname "$(readlink -f "$0")")
fail() { echo "FAIL: $*"; exit 1; }

consumer() {  # consumer <build folder> <cmake options...>: configures, builds and runs it headless
  local dir=$1
  shift
  rm -rf "$dir"
  cmake -S "$here/consumer" -B "$dir" "$@" >"$dir.log" 2>&1 || { cat "$dir.log"; fail "configuring"; }
  cmake --build "$dir" -j 2 >>"$dir.log" 2>&1 || { cat "$dir.log"; fail "building"; }
  (cd "$dir" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ./consumer) || fail "the program's picture"
}

case $mode in
engine-installed)
  rm -rf prefix
  cmake --install "$build" --prefix "$PWD/prefix" --component development >/dev/null
  consumer "$PWD/against-installed" -DCMAKE_PREFIX_PATH="$PWD/prefix"
  ;;
engine-subdirectory)
  consumer "$PWD/with-sources" -DVELKOR_SOURCE_DIR="$source"
  ;;
*) fail "unknown mode $mode" ;;
esac
echo "ok: $mode"
