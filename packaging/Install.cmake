# What a distribution wants beside the programs: the manual pages, the
# AppStream metadata for software centres, and systemd user units for the
# companions with example option files.
include(${CMAKE_CURRENT_LIST_DIR}/Manpages.cmake)

install(FILES packaging/io.github.heliotrope.heliotrope.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# User units live under the prefix's lib/, whatever the libraries' multiarch
# directory is.
install(FILES packaging/systemd/heliotrope-rotctl.service packaging/systemd/heliotrope-sim.service
        DESTINATION lib/systemd/user)
install(FILES packaging/systemd/rotctl.env packaging/systemd/sim.env
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
