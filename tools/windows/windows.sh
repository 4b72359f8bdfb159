# Sourced by ./test --windows and ./package --windows (after tools/setup.sh):
# the Windows cross build and the Wine that runs it.
VELK_WINDOWS_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
VELK_MINGW_RUNTIME_DIRS=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)

windows_fail() {
    echo "windows: $1" >&2
    [ -n "${2:-}" ] && echo "  fix: $2" >&2
    exit 1
}

# Qt for Windows from the cache, building it first when the cache lacks it.
# Sets VELK_WINDOWS_QT to its prefix.
windows_qt() {
    VELK_WINDOWS_QT=$("$VELK_WINDOWS_DIR/build-qt.sh" --prefix)
    if [ ! -f "$VELK_WINDOWS_QT/.complete" ]; then
        echo "windows: building Qt for Windows once (about 20 minutes on two idle cores, an hour beside other builds)"
        "$VELK_WINDOWS_DIR/build-qt.sh" ||
            windows_fail "Qt for Windows could not be built" "see the messages above"
    fi
}

# windows_configure BUILD_DIR [cmake options...]: the project cross-built with
# the repository's toolchain file against the cached Qt. Needs windows_qt first.
windows_configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
        -DVELK_WINDOWS_QT="$VELK_WINDOWS_QT" -DCMAKE_PREFIX_PATH="$VELK_WINDOWS_QT" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
        "$@" >"$dir.configure.log" 2>&1 ||
        windows_fail "configuring the Windows build in $dir failed (see $dir.configure.log)" \
                     "delete $dir and try again; if Qt is at fault, delete $VELK_WINDOWS_QT"
}

# The Windows form of the folders holding Qt's and MinGW's DLLs, for WINEPATH.
windows_dll_path() {
    local dirs=("$VELK_WINDOWS_QT/bin" "${VELK_MINGW_RUNTIME_DIRS[@]}")
    local IFS=';'
    local out=()
    local d
    for d in "${dirs[@]}"; do out+=("Z:${d//\//\\}"); done
    echo "${out[*]}"
}
