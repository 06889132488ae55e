# The program's layers, bottom to top:
#
#   solar/                 the sun's arithmetic, no Qt
#   link/                  the controller link (sees solar/)
#   app/observatories/     the observation-point list (sees solar/, link/)
#   app/                   the window (sees solar/, link/, all of app/)
#   companions/sky/        the real sun from ERFA, no Qt (sees only itself)
#   companions/sunnoise/   the sun-noise arithmetic, no Qt (sees only itself)
#   companions/beamfit/    the beam's fit on the sun in linear power, no Qt (sees only itself)
#   companions/pointing/   the mount's pointing model and its fit, no Qt (sees only itself)
#   companions/common/     what the companions share (sees solar/, link/, sky/)
#   companions/rotator/    the rotator in its own terms: position, limits, geometry,
#                          what is learnt of it, command policy (sees common/)
#   companions/hamlib/     the conversation with rotctld and Hamlib's replies (sees rotator/)
#   companions/power/      the received power, its sources and their choice (sees hamlib/)
#   companions/measure/    the measurement engine and the calibration and sun-noise
#                          runs on it (sees hamlib/, power/, beamfit/, sunnoise/)
#   companions/picture/    the pictures' canvas and their saving as PNG (sees only itself)
#   companions/record/     the station's record, its history and health (sees picture/)
#   companions/station/    the bridge's request socket and the clock's state (sees common/)
#   companions/rotctl/     the Hamlib bridge and its program (sees measure/ and below)
#   companions/controllers/ controllers on a serial line for rotctld (sees common/)
#   companions/sim/        the controller simulator (sees common/ and controllers/)
#   companions/radiometer/ the simulated radiometer (sees common/, sky/ and pointing/)
#
# Each library is compiled against an include root of its own that holds only
# the folders it may use, linked from the source tree. Includes keep their
# full form ("solar/SunPosition.h"), but one that reaches up a layer
# (solar/ including "app/frmMain.h") finds no such file and fails to compile.
# tests/layering proves it. The tests and the tools stand above every layer
# and see the whole tree.

# heliotrope_include_root(TARGET FOLDER...)
# Gives TARGET, and whatever links it, an include root holding FOLDER...
# (paths relative to the source tree, e.g. "app/observatories").
function(heliotrope_include_root target)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  foreach(folder IN LISTS ARGN)
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
      message(FATAL_ERROR "heliotrope_include_root(${target}): no folder ${folder} in the source tree")
    endif()
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
