# Shared by scripts/run and scripts/test: install what is missing, then build.
# Works as root or, for a normal user, through sudo.

HELIOTROPE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# What the programs need to build and the window to show Japanese text on
# Debian 12: ERFA is the real sun of the rotator bridge, GSL its fits, Qt's
# SQLite driver the station's record, cfitsio the day's flux as FITS, Qt's
# HTTP server the station's page (its CMake files ask for Qt's WebSockets,
# which Debian 12's package does not pull in).
HELIOTROPE_PACKAGES=(
  build-essential
  cmake
  qt6-base-dev
  qt6-qpa-plugins
  libqt6sql6-sqlite
  libgl-dev
  fonts-ipafont-gothic
  pkg-config
  liberfa-dev
  libgsl-dev
  libcfitsio-dev
  qt6-httpserver-dev
  qt6-websockets-dev
)

# What building the Debian package needs beyond the program
# (debian/control's Build-Depends, and what scripts/package uses): dpkg-dev
# and debhelper, help2man for the manual pages, rotctld for the tests the
# build runs, git and xz to make the upstream tarball.
HELIOTROPE_PACKAGE_PACKAGES=(
  dpkg-dev
  debhelper
  help2man
  pkgconf
  libhamlib-utils
  git
  xz-utils
)

# What only the tests need: ccache, through which the package's build takes
# the objects the normal build has just made (scripts/test); the real rotctld that the Hamlib bridge is tested
# against, python3 that checks the READMEs and the manual against the programs,
# python3-ephem, the reference (not built on ERFA) that the bridge's
# real sun is checked against, and the tools that check the Debian package:
# Debian's package checker, the menu entry and AppStream validators,
# hardening-check (in devscripts), systemd-analyze for the user units, and man
# to read the pages; and what the short soak runs the windows with (an X
# server, clicks, and a trace of what they send); ps and pkill, with which the
# test command ends what it runs beside its stages; and clang with its runtime
# for the sanitizers' build and the fuzzers, asked here too so that a fresh
# machine installs everything in one go; and LLVM's linker, which links that
# build; and headless Chromium with its driver and Selenium, in which the
# station's page is tried as a browser shows it.
HELIOTROPE_TEST_PACKAGES=(
  ccache
  libhamlib-utils
  python3
  python3-ephem
  "${HELIOTROPE_PACKAGE_PACKAGES[@]}"
  desktop-file-utils
  lintian
  appstream
  devscripts
  systemd
  man-db
  xvfb
  xdotool
  libxcb1-dev
  strace
  procps
  clang
  libclang-rt-14-dev
  lld
  chromium
  chromium-driver
  python3-selenium
)

say() {
  printf '==> %s\n' "$*"
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "heliotrope: パッケージを入れるには root か sudo が必要です (needs root or sudo to install: $*)" >&2
    exit 1
  fi
}

install_missing() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    say "all packages present"
    return
  fi
  say "installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options...] [-- build options...]
build() {
  local dir="$1"
  shift
  local configure=()
  while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
    configure+=("$1")
    shift
  done
  [ "$#" -eq 0 ] || shift
  say "configuring $dir"
  cmake -S "$HELIOTROPE_ROOT" -B "$HELIOTROPE_ROOT/$dir" "${configure[@]}" >/dev/null
  say "building $dir"
  cmake --build "$HELIOTROPE_ROOT/$dir" -j"$(nproc)" "$@"
}

# package_build_flags: two lines, the C++ flags and the linker flags the
# Debian package is compiled with, asked of dpkg-buildflags under
# debian/rules' own settings (its hardening), with the preprocessor's flags
# after the compiler's as debhelper gives them to CMake. Asked from the top of
# this tree, so the debugging information's path map names it.
package_build_flags() {
  (cd "$HELIOTROPE_ROOT" && make -s --no-print-directory -f debian/rules --eval 'heliotrope-build-flags: ; @printf "%s %s\n%s\n" "$$(dpkg-buildflags --get CXXFLAGS)" "$$(dpkg-buildflags --get CPPFLAGS)" "$$(dpkg-buildflags --get LDFLAGS)"' heliotrope-build-flags)
}
