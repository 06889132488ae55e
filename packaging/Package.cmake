# A Debian package of the installed files (scripts/package). The library
# dependencies are derived from the binaries by dpkg-shlibdeps; what the
# binaries load at run time without linking it is named here: the X11
# platform plugin and a Japanese font. Hamlib's rotctld is only suggested:
# the window and the simulator run without it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME heliotrope)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps an antenna pointed at the sun")
# The extended description, below the summary CPack puts first; Debian wants
# its lines at most 80 columns wide.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Heliotrope (太陽軌道計算) computes where the sun stands for an observation"
  "point in Japan every 750 ms, shows it on a polar sky chart and sends the"
  "azimuth and elevation to an antenna controller over UDP. By night the"
  "antenna is parked at the azimuth of the next sunrise."
  "."
  "The package also contains heliotrope-sim, an antenna controller that"
  "exists only in software, and heliotrope-rotctl, which relays the pointing"
  "messages to Hamlib's rotctld, with systemd user units for both.")
# A role address of the project; lintian refuses one at localhost.
set(HELIOTROPE_MAINTAINER "Heliotrope developers <heliotrope@users.noreply.github.com>")
set(CPACK_PACKAGE_CONTACT "${HELIOTROPE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HELIOTROPE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/heliotrope/heliotrope")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libhamlib-utils")
# The control archive's files (control, md5sums) with the modes Debian's own
# tools give them, as lintian expects.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
