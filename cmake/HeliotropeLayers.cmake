# The program's layers, bottom to top:
#
#   solar/                 the sun's arithmetic, no Qt
#   link/                  the controller link (sees solar/)
#   app/observatories/     the observation-point list (sees solar/, link/)
#   app/                   the window (sees solar/, link/, all of app/)
#   companions/sky/        the real sun from ERFA, no Qt (sees only itself)
#   companions/sunnoise/   the sun-noise arithmetic, no Qt (sees only itself)
#   companions/flux/       the readings while tracking turned into the sun's flux, its
#                          bursts and daily values, no Qt (sees sunnoise/)
#   companions/sunflux/    the sun's true flux over time, its bursts and file, no Qt (sees only itself)
#   companions/beamfit/    the beam's fit on the sun in linear power, no Qt (sees only itself)
#   companions/pointing/   the mount's pointing model and its fit, no Qt (sees only itself)
#   companions/common/     what the companions share (sees solar/, link/, sky/)
#   companions/rotator/    the rotator in its own terms: position, limits, geometry,
#                          what is learnt of it, command policy (sees common/)
#   companions/hamlib/     the conversation with rotctld and Hamlib's replies (sees rotator/)
#   companions/power/      the received power, its sources and their choice (sees hamlib/)
#   companions/mount/      the mount's saved pointing model and whether it may be applied
#                          (sees pointing/, rotator/, sky/)
#   companions/measure/    the measurement engine and the calibration, sun-noise and
#                          system temperature runs on it (sees hamlib/, power/, beamfit/,
#                          sunnoise/, flux/, mount/)
#   companions/picture/    the pictures' canvas and their saving as PNG (sees only itself)
#   companions/record/     the station's record, its history and health, the readings
#                          while tracking and the days' flux (sees picture/, flux/)
#   companions/fluxstation/ which station and scale a day's flux is worked out on, for
#                          the bridge and the reports alike (sees record/, flux/, sky/)
#   companions/station/    the bridge's request socket and the clock's state (sees common/)
#   companions/rotctl/truesun/ the sun the bridge points at and its log (sees hamlib/, sky/)
#   companions/rotctl/bridge/  the Hamlib bridge, its request desk and the measurements it
#                          makes, the watch on the receiver while tracking and the
#                          day's flux from it (sees rotctl/truesun/, measure/, fluxstation/ and below)
#   companions/rotctl/page/    the station's page over HTTP: the page, the station as JSON
#                          from what --status says, who may ask what (sees rotctl/bridge/)
#   companions/rotctl/asking/  a request to the running bridge (sees rotctl/bridge/)
#   companions/rotctl/reports/ what is answered without rotctld or a bridge: the history,
#                          a day's flux, the pointing fit, the sun now (sees rotctl/truesun/,
#                          measure/, fluxstation/ and below)
#   companions/rotctl/     the program: its command line read into the mode asked for (sees all of rotctl/)
#   companions/controllers/ controllers on a serial line for rotctld (sees common/)
#   companions/sim/        the controller simulator (sees common/ and controllers/)
#   companions/radiometer/ the simulated radiometer (sees common/, sky/, pointing/, sunnoise/
#                          and sunflux/)
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
