#!/usr/bin/env bash
# Installs the Debian packages that building, playing or testing needs, and nothing when they are
# all present. Usage: tools/setup.sh game|test
set -euo pipefail

# Building the engine and the game.
build_packages=(
  cmake g++ make pkg-config
  libsdl2-dev
  # Direct3D 9 over OpenGL: GL entry points through libepoxy.
  libepoxy-dev
  # D3DX image files: PNG through libpng, BMP/JPG/TGA through stb_image's header.
  libpng-dev libstb-dev
  # D3DX fonts: faces found by fontconfig, glyphs drawn by FreeType.
  libfreetype-dev libfontconfig-dev
  # DirectMusic: MIDI through FluidSynth, mixed by our own mixer over SDL audio.
  libfluidsynth-dev
  # D3DX .X mesh files: the compressed forms are inflated with zlib's raw inflate.
  zlib1g-dev
  # D3DX meshes: progressive meshes on OpenMesh's decimater, vertex-cache order by meshoptimizer.
  libopenmesh-dev libmeshoptimizer-dev
)
# Running the game: SDL's dialogs on X11 draw their text with the core X fonts.
run_packages=(
  xfonts-base
  # OpenGL 3.3 core without a GPU: Mesa's llvmpipe through GLX (X11) and EGL (SDL's offscreen
  # driver), behind the vendor-neutral libGL/libEGL.
  libepoxy0 libgl1 libglx-mesa0 libegl1 libegl-mesa0 libgl1-mesa-dri
  # The font the game asks for, Arial, is Liberation Sans here (same widths); DejaVu is the
  # fallback for any other name.
  fonts-liberation2 fonts-dejavu-core
  # The General MIDI SoundFont that FluidSynth plays the music with.
  timgm6mb-soundfont
)
# Running the unit tests, the whole-program tests and the benchmarks.
test_packages=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils
  # The whole-program tests read the screen: xwd (x11-apps) captures it for
  # tests/program/program_test.py (python3), and ImageMagick's convert turns the win pictures into
  # the same format to compare with.
  x11-apps imagemagick
  # The result-code table is checked against the platform's code headers, which the cross
  # compiler evaluates.
  python3 mingw-w64-x86-64-dev gcc-mingw-w64-x86-64-posix
  # The installed game's desktop entry and metainfo are validated, and its Debian package is made
  # with its libraries worked out by dpkg-shlibdeps.
  desktop-file-utils appstream dpkg-dev
  # The mesh benchmarks time Assimp's import of the same model beside our own reader.
  libassimp-dev
  # The libFuzzer targets are built with clang; libclang_rt.fuzzer (and clang's sanitizer
  # runtimes) come in libclang-rt-14-dev, only recommended by clang-14.
  clang-14 libclang-rt-14-dev
)

case "${1:-}" in
  game) wanted=("${build_packages[@]}" "${run_packages[@]}") ;;
  test) wanted=("${build_packages[@]}" "${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 game|test" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "These packages are missing and there is no sudo to install them: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have no package lists yet; refresh them once if the install cannot find one.
if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
