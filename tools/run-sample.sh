#!/usr/bin/env bash
# Sets up this machine, builds the engine's sample programs and starts one.
# Usage: tools/run-sample.sh boxes|mesh [--frames N] [--screenshot FILE.bmp] [--detail D (mesh)]
set -euo pipefail
cd "$(dirname "$0")/.."
sample=${1:-}
case $sample in
  boxes|mesh) shift ;;
  *) echo "usage: $0 boxes|mesh [--frames N] [--screenshot FILE.bmp]" >&2; exit 2 ;;
esac
tools/setup.sh game
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZR_BUILD_TESTS=OFF
cmake --build build/release -j "$(nproc)" --target "sample_$sample"
# A sample runs in its run folder: its textures and model are there, and its error.log.
cd build/release/run/examples
exec ../../examples/"sample_$sample" "$@"
