# A Debian package of the installed files (scripts/package). The library
# dependencies are derived from the binaries by dpkg-shlibdeps; what the
# binaries load at run time without linking it is named here: the X11
# platform plugin and a Japanese font.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME heliotrope)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps an antenna pointed at the sun (太陽軌道計算)")
set(CPACK_PACKAGE_DESCRIPTION "Computes where the sun stands for an observation point in Japan every 750 ms, shows it on a polar sky chart and sends azimuth and elevation to an antenna controller over UDP. By night the antenna is parked at the next sunrise azimuth.")
set(CPACK_PACKAGE_CONTACT "Heliotrope developers <heliotrope@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic")
set(CPACK_STRIP_FILES ON)
include(CPack)
