# What the tests run, and nothing else: `cmake --build DIR --target
# heliotrope_tested` builds only that (scripts/test does so under the
# sanitizers, where the measuring tools that no test runs would only be
# compiled a second time). Whatever registers a test adds its program here.
add_custom_target(heliotrope_tested)

# A test file's compilation is mostly Qt's headers: QTest alone brings nearly
# all of Qt Core. Each test folder compiles them once, into a precompiled
# header (tests/TestHeaders.h) that all its tests reuse. A precompiled header
# serves only compilations with the same macros: so every test links the same
# Qt modules (their _LIB macros decide what QTest declares), and one header
# is made per folder (QTest's macros name the test's folder). The tests' own
# sources are compiled with -Og outside the sanitizers' build: quicker to
# compile than the product's -O2, still debuggable, and with the
# optimizer's flow warnings; the product they test keeps its own flags.
# They go past the compiler cache: a precompiled header is a few hundred
# megabytes the cache would only copy, and no other build reuses a test's
# objects.
set(HELIOTROPE_TEST_QT Qt6::Test Qt6::Widgets Qt6::Network Qt6::Sql)
function(heliotrope_test_compiled_like target)
  target_link_libraries(${target} PRIVATE ${HELIOTROPE_TEST_QT})
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_options(${target} PRIVATE -Og)
  endif()
  set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER "")
endfunction()
function(heliotrope_test_headers out)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(MAKE_C_IDENTIFIER "headers_${folder}" donor)
  if(NOT TARGET ${donor})
    file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${donor}.cpp CONTENT "// The precompiled test headers' own compilation.\n")
    add_library(${donor} OBJECT ${CMAKE_CURRENT_BINARY_DIR}/${donor}.cpp)
    heliotrope_test_compiled_like(${donor})
    set_target_properties(${donor} PROPERTIES AUTOMOC OFF)
    target_precompile_headers(${donor} PRIVATE ${PROJECT_SOURCE_DIR}/tests/TestHeaders.h)
  endif()
  set(${out} ${donor} PARENT_SCOPE)
endfunction()

# heliotrope_add_test(NAME SOURCES file... LIBS lib... [GUI] [TIMEOUT seconds])
# One QtTest executable per class under test, registered with CTest. Every test
# runs on the offscreen platform so that no display is needed.
function(heliotrope_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  heliotrope_test_compiled_like(${name})
  heliotrope_test_headers(headers)
  target_precompile_headers(${name} REUSE_FROM ${headers})
  # Moc's collected output holds no test code and only pays for loading the
  # header.
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp
    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
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
  # The longest first (a test's timeout is its size), so that several run
  # at once and none of the long ones is left to run alone at the end.
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    COST ${T_TIMEOUT}
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
