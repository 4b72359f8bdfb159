# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads
# variant: std::thread and std::mutex need it). Used for Qt itself and for this
# project; the Qt prefix comes in through CMAKE_PREFIX_PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELK_MINGW_TRIPLET}-windres)

# Libraries and headers come only from the MinGW sysroot and the cross Qt;
# programs (moc, rcc, uic) come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The cross-built Qt lives outside the sysroot (./test --windows passes its
# cache folder), so it is searched as a root of its own.
if(VELK_WINDOWS_QT)
    list(APPEND CMAKE_FIND_ROOT_PATH ${VELK_WINDOWS_QT})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELK_WINDOWS_QT)

# rcc is the host's, built with zstd; the Windows Qt has no zstd to read it.
set(CMAKE_AUTORCC_OPTIONS --no-zstd)
