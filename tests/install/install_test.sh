#!/usr/bin/env bash
# The engine and the game as others get them, in the test's scratch folder:
#   install_test.sh SOURCE BUILD engine-installed   a program of its own against the installed engine
#   install_test.sh SOURCE BUILD engine-subdirectory  the same program with the engine's sources added
#   install_test.sh SOURCE BUILD game               the installed game: desktop files, icons, launcher
#   install_test.sh SOURCE BUILD deb               the Debian packages: contents and dependencies
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
  [ ! -e prefix/bin ] && [ ! -e prefix/share/velkor ] || fail "the engine's installation holds the game"
  consumer "$PWD/against-installed" -DCMAKE_PREFIX_PATH="$PWD/prefix"
  ;;
engine-subdirectory)
  consumer "$PWD/with-sources" -DVELKOR_SOURCE_DIR="$source"
  ;;
game)
  rm -rf prefix
  cmake --install "$build" --prefix "$PWD/prefix" --component game >/dev/null
  desktop-file-validate prefix/share/applications/org.velkor.Duel.desktop || fail "the desktop entry"
  appstreamcli validate --no-net --strict prefix/share/metainfo/org.velkor.Duel.metainfo.xml || fail "the metainfo"
  for size in 16 32 48 64 128 256; do
    icon=prefix/share/icons/hicolor/${size}x$size/apps/org.velkor.Duel.png
    [ "$(identify -format '%m %wx%h' "$icon" 2>&1)" = "PNG ${size}x$size" ] || fail "the icon $icon"
  done
  grep -qx 'Icon=org.velkor.Duel' prefix/share/applications/org.velkor.Duel.desktop || fail "the entry's icon"
  # The program's 32 x 32 icon itself (clear corner, the yellow V, the navy disc), its doublings
  # pixel for pixel, and its halving as the mean of each 2 x 2.
  icons=prefix/share/icons/hicolor icon=apps/org.velkor.Duel.png
  [ "$(convert $icons/32x32/$icon -format '%[pixel:p{0,0}] %[pixel:p{12,15}] %[pixel:p{16,3}]' info:)" = \
    "srgba(0,0,0,0) srgba(255,255,0,1) srgba(0,0,128,1)" ] || fail "the 32 x 32 icon is not the program's"
  for size in 64 128 256; do
    differ=$(convert $icons/${size}x$size/$icon -sample 32x32 png:- | compare -metric AE - $icons/32x32/$icon null: 2>&1) || true
    [ "$differ" = 0 ] || fail "the $size x $size icon differs from the 32 x 32 one in $differ pixels"
  done
  differ=$(convert $icons/32x32/$icon -filter box -resize 16x16 png:- |
    compare -metric AE -fuzz 1% - $icons/16x16/$icon null: 2>&1) || true
  [ "$differ" = 0 ] || fail "the 16 x 16 icon is not the 32 x 32 one halved ($differ pixels)"
  # An installation without the shot's picture: start-up logs it, and the game plays on.
  rm prefix/share/velkor/objects/textures/shoot.PNG
  "$source/tests/program/program_test.py" "$PWD/prefix/bin/velkor" "$build/run" installed
  ;;
deb)
  rm -rf packages
  cpack --config "$build/CPackConfig.cmake" -B "$PWD/packages" -G DEB >cpack.log 2>&1 || { cat cpack.log; fail "cpack"; }
  game=$(ls packages/velkor_*.deb) && dev=$(ls packages/libvelkor-dev_*.deb) || fail "the packages: $(ls packages)"
  contents=$(dpkg-deb -c "$game")
  for path in ./usr/bin/velkor ./usr/libexec/velkor/duel ./usr/share/applications/org.velkor.Duel.desktop \
      ./usr/share/metainfo/org.velkor.Duel.metainfo.xml ./usr/share/icons/hicolor/64x64/apps/org.velkor.Duel.png \
      ./usr/share/velkor/objects/textures/emblem.PNG ./usr/share/velkor/objects/sfx/open.mid \
      ./usr/share/velkor/objects/sfx/BFIRE.WAV; do
    grep -q " $path\$" <<<"$contents" || fail "velkor lacks $path"
  done
  ! grep -q '\.a$\|/include/' <<<"$contents" || fail "velkor holds the engine's development files"
  depends=$(dpkg-deb -f "$game" Depends)
  for package in libc6 libstdc++6 libsdl2-2.0-0 libepoxy0 libpng16-16 libfreetype6 libfontconfig1 libfluidsynth3 \
      zlib1g 'timgm6mb-soundfont | fluid-soundfont-gm' fonts-liberation2; do
    grep -q "\(^\|, \)$package\( (\|,\|\$\)" <<<"$depends" || fail "velkor does not depend on $package: $depends"
  done
  contents=$(dpkg-deb -c "$dev")
  for path in ./usr/include/velkor/windows.h ./usr/include/velkor/graphics/zr_Sprite.h \
      ./usr/lib/cmake/Velkor/VelkorConfig.cmake ./usr/lib/libzr_graphics.a; do
    grep -q " $path\$" <<<"$contents" || fail "libvelkor-dev lacks $path"
  done
  grep -q libsdl2-dev <<<"$(dpkg-deb -f "$dev" Depends)" || fail "libvelkor-dev does not depend on libsdl2-dev"
  ;;
*) fail "unknown mode $mode" ;;
esac
echo "ok: $mode"
