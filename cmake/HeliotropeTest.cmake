# What the tests run, and nothing else: `cmake --build DIR --target
# heliotrope_tested` builds only that (scripts/test does so under the
# sanitizers, where the measuring tools that no test runs would only be
# compiled a second time). Whatever registers a test adds its program here.
add_custom_target(heliotrope_tested)

# heliotrope_add_test(NAME SOURCES file... LIBS lib... [GUI] [TIMEOUT seconds])
# One QtTest executable per class under test, registered with CTest. Every test
# runs on the offscreen platform so that no display is needed.
function(heliotrope_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(heliotrope_tested ${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # A runtime folder of each test's own: the bridges a test starts take
  # their request socket there, never the user's, where a bridge of the
  # user's (or another test's) would be asked instead. Likewise the data
  # folder, so that no measurement a test makes enters the user's record, and
  # the state folder, so that no stow a test asks for holds the user's
  # station, nor the user's stow a test's bridge.
  set(runtime ${CMAKE_BINARY_DIR}/rt/${name})
  file(MAKE_DIRECTORY ${runtime})
  file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_FONT_DPI=96;ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=print_stacktrace=1;XDG_RUNTIME_DIR=${runtime};XDG_DATA_HOME=${runtime}/data;XDG_STATE_HOME=${runtime}/state")
endfunction()

# The programs the end-to-end tests start: those this build makes, or, with
# HELIOTROPE_TEST_PROGRAMS_DIR (/usr/bin in the Debian package's installed
# tests), those installed there, so the same tests check what a user runs.
set(HELIOTROPE_TEST_PROGRAMS_DIR "" CACHE PATH "Run the installed programs in this directory in the tests, instead of those built")

# heliotrope_test_program(TEST DEFINITION PROGRAM): TEST is compiled with
# DEFINITION set to the path of PROGRAM.
function(heliotrope_test_program test definition program)
  if(HELIOTROPE_TEST_PROGRAMS_DIR)
    target_compile_definitions(${test} PRIVATE ${definition}="${HELIOTROPE_TEST_PROGRAMS_DIR}/${program}")
  else()
    add_dependencies(${test} ${program})
    target_compile_definitions(${test} PRIVATE ${definition}="$<TARGET_FILE:${program}>")
  endif()
endfunction()
