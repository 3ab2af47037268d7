# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix thread model: GCC 12's win32 model has no
# std::thread). scripts/build-windows passes this file to every CMake project it builds, ours and the libraries'.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The libraries scripts/build-windows built go to one prefix of its cache, searched as a second root. Kept in the
# cache, and pkg-config pointed at it (and never at the build machine's own .pc files), so that a reconfigure the
# build starts by itself, without the script's environment, finds the same libraries.
if(DEFINED ENV{ORBLANE_WINDOWS_PREFIX})
    set(ORBLANE_WINDOWS_PREFIX "$ENV{ORBLANE_WINDOWS_PREFIX}" CACHE PATH "The cross-built libraries' prefix" FORCE)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${ORBLANE_WINDOWS_PREFIX})
set(ENV{PKG_CONFIG_LIBDIR}
    "${ORBLANE_WINDOWS_PREFIX}/lib/pkgconfig:${ORBLANE_WINDOWS_PREFIX}/share/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests and tools run under Wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
