# The engine as a library for other programs: one target for the engine with the real platform
# layer behind it, Velkor::engine, and the platform's main() that starts a program's WinMain,
# Velkor::main. The same names work after find_package(Velkor CONFIG) on an installed engine and
# after add_subdirectory of this repository.
add_library(zr_engine INTERFACE)
target_link_libraries(zr_engine INTERFACE zr_objects3d zr_input zr_graphics zr_errorfile zr_platform)
set_target_properties(zr_engine PROPERTIES EXPORT_NAME engine)
set_target_properties(zr_platform_main PROPERTIES EXPORT_NAME main)

# A sanitized build's libraries need the sanitizers' runtime in every program that links them.
if(ZR_SANITIZE)
  target_link_options(zr_platform_headers INTERFACE -fsanitize=address,undefined)
endif()

set(ZR_PACKAGE_TARGETS
  zr_engine zr_platform_main
  zr_errorfile zr_graphics zr_input zr_objects3d
  zr_platform zr_platform_api zr_platform_headers
  zr_platform_win32 zr_platform_d3d9 zr_platform_dinput8 zr_platform_dmusic zr_platform_dmusic_files
  zr_platform_d3dx9 zr_platform_d3dx9_math zr_platform_d3dx9_image zr_platform_d3dx9_text
  zr_platform_d3dx9_xfile zr_platform_d3dx9_pmesh zr_platform_d3dx9_mesh)
foreach(target IN LISTS ZR_PACKAGE_TARGETS)
  get_target_property(name ${target} EXPORT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  add_library(Velkor::${name} ALIAS ${target})
endforeach()

if(NOT ZR_INSTALL)
  return()
endif()

include(CMakePackageConfigHelpers)
set(ZR_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velkor)
# Everything under one folder, so that windows.h and its friends sit beside the engine's headers
# and nowhere else: graphics/zr_Sprite.h, windows.h, d3dx9.h, ...
set(ZR_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/velkor)

install(TARGETS ${ZR_PACKAGE_TARGETS} EXPORT VelkorTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  OBJECTS DESTINATION ${CMAKE_INSTALL_LIBDIR}/velkor COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/include/ DESTINATION ${ZR_INCLUDE_DIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/includes/ DESTINATION ${ZR_INCLUDE_DIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")
install(EXPORT VelkorTargets NAMESPACE Velkor:: DESTINATION ${ZR_PACKAGE_DIR} COMPONENT development)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VelkorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VelkorConfig.cmake INSTALL_DESTINATION ${ZR_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VelkorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VelkorConfig.cmake ${PROJECT_BINARY_DIR}/VelkorConfigVersion.cmake
  DESTINATION ${ZR_PACKAGE_DIR} COMPONENT development)
