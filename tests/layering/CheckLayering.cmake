# cmake -DCOMMANDS=compile_commands.json -DSOURCE_DIR=...
#       -DSEES=probe=header,... -DREACHES=probe=header,... -P CheckLayering.cmake
# Runs each layering probe's compile command (tests/layering/CMakeLists.txt),
# as far as the preprocessor, and checks how it ends: SEES probes find their
# header and everything it includes; REACHES probes fail because the
# compiler cannot find the header, not for any other reason. What a layer can
# reach is settled by where its includes are found, so the preprocessor is
# all the check needs; that each header then compiles is the build's part.
# Then checks that no source file of a layer climbs out of its folder with a
# relative include ("../app/..."), the one path an include root cannot close.

set(faults "")
string(REPLACE "," ";" SEES "${SEES}")
string(REPLACE "," ";" REACHES "${REACHES}")
file(READ ${COMMANDS} commands)
string(JSON entries LENGTH "${commands}")

# compile(PROBE OUT_STATUS OUT_OUTPUT): the probe's command from COMMANDS, run.
function(compile probe out_status out_output)
  math(EXPR last "${entries} - 1")
  foreach(i RANGE ${last})
    string(JSON file GET "${commands}" ${i} file)
    if(file MATCHES "/${probe}\\.cpp$")
      string(JSON command GET "${commands}" ${i} command)
      string(JSON directory GET "${commands}" ${i} directory)
      separate_arguments(arguments UNIX_COMMAND "${command}")
      # The preprocessed text goes nowhere instead of to the object file.
      list(FIND arguments "-o" output_option)
      if(output_option GREATER_EQUAL 0)
        math(EXPR output_file "${output_option} + 1")
        list(REMOVE_AT arguments ${output_option} ${output_file})
      endif()
      execute_process(COMMAND ${arguments} -E -o /dev/null WORKING_DIRECTORY ${directory}
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
      set(${out_status} "${status}" PARENT_SCOPE)
      set(${out_output} "${output}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "no compile command for ${probe} in ${COMMANDS}")
endfunction()

foreach(entry IN LISTS SEES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 probe)
  list(GET parts 1 header)
  compile(${probe} status output)
  if(status EQUAL 0)
    message(STATUS "sees     ${header}  (${probe})")
  else()
    message(STATUS "${output}")
    list(APPEND faults "${probe} cannot include ${header}, which its layer may use")
  endif()
endforeach()

foreach(entry IN LISTS REACHES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 probe)
  list(GET parts 1 header)
  compile(${probe} status output)
  string(REGEX REPLACE "([][+.*()^$?])" "\\\\\\1" escaped "${header}")
  # GCC: "fatal error: app/frmMain.h: No such file or directory";
  # clang: "fatal error: 'app/frmMain.h' file not found".
  if(status EQUAL 0)
    list(APPEND faults "${probe} compiles with ${header}, a layer it must not see")
  elseif(output MATCHES "${escaped}: No such file or directory" OR output MATCHES "'${escaped}' file not found")
    message(STATUS "kept out ${header}  (${probe})")
  else()
    message(STATUS "${output}")
    list(APPEND faults "${probe} failed for another reason than the missing ${header}")
  endif()
endforeach()

file(GLOB_RECURSE layer_sources
  ${SOURCE_DIR}/solar/*.h ${SOURCE_DIR}/solar/*.cpp
  ${SOURCE_DIR}/link/*.h ${SOURCE_DIR}/link/*.cpp
  ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/app/*.cpp
  ${SOURCE_DIR}/companions/*.h ${SOURCE_DIR}/companions/*.cpp)
foreach(file IN LISTS layer_sources)
  file(STRINGS ${file} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
  if(climbing)
    list(APPEND faults "${file}: ${climbing}")
  endif()
endforeach()

if(faults)
  list(JOIN faults "\n  " listed)
  message(FATAL_ERROR "layering broken:\n  ${listed}")
endif()
list(LENGTH layer_sources checked)
message(STATUS "no relative include climbs out of a layer (${checked} files)")
