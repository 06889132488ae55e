# What a distribution wants beside the programs: the manual pages, the
# AppStream metadata for software centres, and systemd user units for the
# companions with example option files.
include(${CMAKE_CURRENT_LIST_DIR}/Manpages.cmake)

install(FILES packaging/io.github.heliotrope.heliotrope.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# User units live under the prefix's lib/, whatever the libraries' multiarch
# directory is.
# The station's units beside the bridge's: rotctld and rigctld, and the timers that ask
# the running bridge for a sun-noise run daily and a calibration weekly.
install(FILES packaging/systemd/heliotrope-rotctl.service packaging/systemd/heliotrope-sim.service
        packaging/systemd/rotctld.service packaging/systemd/rigctld.service
        packaging/systemd/heliotrope-sun-noise.service packaging/systemd/heliotrope-sun-noise.timer
        packaging/systemd/heliotrope-calibrate.service packaging/systemd/heliotrope-calibrate.timer
        DESTINATION lib/systemd/user)
install(FILES packaging/systemd/rotctl.env packaging/systemd/sim.env packaging/systemd/rotctld.env packaging/systemd/rigctld.env
        packaging/systemd/sun-noise.env packaging/systemd/calibrate.env
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
