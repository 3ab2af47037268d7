# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix thread model: GCC 12's win32 model has no
# std::thread). scripts/build-windows passes this file to every CMake project it builds, ours and the libraries'.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The libraries scripts/build-windows built go to one prefix of its cache, searched as a second root.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $ENV{ORBLANE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests and tools run under Wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
