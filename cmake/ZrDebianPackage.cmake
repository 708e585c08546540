# Debian packages, made by `cpack -G DEB` in a build folder: velkor, the game (its libraries worked
# out from the program by dpkg-shlibdeps, and what it finds at run time: a General MIDI SoundFont and
# the fonts), and libvelkor-dev, the engine for programs of one's own.
set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VENDOR Velkor)
set(CPACK_PACKAGE_CONTACT "Velkor developers <velkor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Duel for two players on one keyboard")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_COMPONENTS_ALL development)
if(ZR_BUILD_GAME)
  list(APPEND CPACK_COMPONENTS_ALL game)
endif()

set(CPACK_DEBIAN_GAME_PACKAGE_NAME velkor)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
set(CPACK_COMPONENT_GAME_DESCRIPTION "Duel for two players on one keyboard
 Two players share one keyboard, move their figures, shoot and lose lives.")
set(CPACK_DEBIAN_GAME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "timgm6mb-soundfont | fluid-soundfont-gm, fonts-liberation2, fonts-dejavu-core")
# Without a graphics card's own driver, Mesa draws; SDL's message boxes on X11 use its core fonts.
set(CPACK_DEBIAN_GAME_PACKAGE_RECOMMENDS "libgl1-mesa-dri, xfonts-base")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvelkor-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Velkor engine for programs of one's own
 Sprites, text, keyboard and mouse, MIDI music and WAV effects, error reports and 3D objects,
 as static libraries with their headers and a CMake package: find_package(Velkor CONFIG).")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "cmake, pkg-config, libsdl2-dev, libepoxy-dev, libpng-dev, libfreetype-dev, libfontconfig-dev, libfluidsynth-dev, zlib1g-dev, libopenmesh-dev, libmeshoptimizer-dev")
include(CPack)
