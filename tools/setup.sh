# Sourced by ./run and ./test: installs what a fresh Debian machine lacks.
# Packages: the compiler and build tools, Qt 6 Widgets, Qt SQL's SQLite driver
# (the day index), and fonts with the
# Japanese glyphs of the tooltips and the message box (IPA Gothic) plus an
# Arial-compatible face (Liberation Sans). The installed program's icons and
# manual pages are made with rsvg-convert and help2man; the install test
# validates the desktop entry and the AppStream metadata. The map's coastline
# is converted at build time from GSHHG's binned files (gmt-gshhg-*) with
# libnetcdf.
VELK_PACKAGES=(g++ cmake ninja-build qt6-base-dev libqt6sql6-sqlite libgl-dev fonts-ipafont-gothic fonts-liberation
               librsvg2-bin help2man desktop-file-utils appstream
               libnetcdf-dev gmt-gshhg-low gmt-gshhg-high gmt-gshhg-full)
# The Windows build (./test --windows, ./package --windows): the MinGW-w64
# cross compiler, Wine to run its results, dpkg-dev for apt-get source and tcl
# for SQLite's amalgamation (Qt's source is built from Debian's), zip; icoutils
# for the .exe files' icon, nsis for the setup program.
VELK_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 dpkg-dev tcl zip icoutils nsis)
# The Windows window's screenshot (tests/windows/screenshot.sh): a virtual
# display, clicks, the capture, and Wine's own fonts.
VELK_WINDOWS_PROOF_PACKAGES=(xvfb xdotool imagemagick fonts-wine)

ensure_packages() {
    local missing=()
    local p
    for p in "${VELK_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}
