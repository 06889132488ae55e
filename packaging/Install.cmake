# What a distribution wants beside the programs: the manual pages, the
# copyright and changelog files, the AppStream metadata for software centres,
# and systemd user units for the companions with example option files.
include(${CMAKE_CURRENT_LIST_DIR}/Manpages.cmake)

install(FILES packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# A package with no Debian revision in its version is native: its changelog
# is changelog.gz, compressed at the highest level and without a time stamp.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  COMMENT "Compressing the package's changelog")
add_custom_target(heliotrope-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(FILES packaging/io.github.heliotrope.heliotrope.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# User units live under the prefix's lib/, whatever the libraries' multiarch
# directory is.
install(FILES packaging/systemd/heliotrope-rotctl.service packaging/systemd/heliotrope-sim.service
        DESTINATION lib/systemd/user)
install(FILES packaging/systemd/rotctl.env packaging/systemd/sim.env
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
