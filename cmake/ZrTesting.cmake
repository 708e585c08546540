# zr_add_test(NAME <name> COMMAND <command...> [XVFB] [LABELS <labels...>])
#
# Registers a CTest test that runs in its own scratch directory under the build tree, so that
# nothing a test writes (error.log above all) lands in the source tree. With XVFB the command runs
# on a private virtual X display. The display never resets: by default Xvfb resets whenever its last
# client disconnects, and a client that connects during the reset (the next step of a test, a
# dialog's child process) is hung up on, which a loaded machine made frequent.
find_package(GTest REQUIRED)

set(ZR_SANITIZER_ENV
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/sanitizers/lsan.supp:print_suppressions=0")

# zr_use_fake_platform(<target>): the target's engine and game code runs on the recording fake of
# the platform layer instead of the real one.
function(zr_use_fake_platform target)
  set_target_properties(${target} PROPERTIES ZR_FAKE_PLATFORM ON)
  target_link_libraries(${target} PRIVATE zr_platform_fake)
endfunction()

function(zr_add_test)
  cmake_parse_arguments(T "XVFB" "NAME" "COMMAND;LABELS" ${ARGN})
  set(dir ${PROJECT_BINARY_DIR}/test-scratch/${T_NAME})
  file(MAKE_DIRECTORY ${dir})
  set(cmd ${T_COMMAND})
  if(T_XVFB)
    set(cmd xvfb-run -a -s "-screen 0 1024x768x24 -noreset" ${cmd})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${cmd} WORKING_DIRECTORY ${dir})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${ZR_SANITIZER_ENV}")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
