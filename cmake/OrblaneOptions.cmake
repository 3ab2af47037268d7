# Compile options shared by every target of the project.
add_library(orblane_options INTERFACE)
target_compile_options(orblane_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    # sign conversions are checked where file data is read; elsewhere they are noise around Qt's int sizes
    -Wno-sign-conversion)
if(ORBLANE_WARNINGS_AS_ERRORS)
    target_compile_options(orblane_options INTERFACE -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 at -O3 (the Windows build's Release) warns of overlapping copies inside std::string's own inlined code,
    # about lengths no string can have: a known false alarm of that release, not of ours.
    target_compile_options(orblane_options INTERFACE -Wno-restrict)
endif()
if(ORBLANE_SANITIZE)
    target_compile_options(orblane_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(orblane_options INTERFACE -fsanitize=address,undefined)
endif()
if(ORBLANE_TSAN)
    if(ORBLANE_SANITIZE OR ORBLANE_FUZZ)
        message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
    endif()
    target_compile_options(orblane_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(orblane_options INTERFACE -fsanitize=thread)
endif()
if(ORBLANE_FUZZ)
    # Every object is instrumented for coverage; the fuzz targets add the libFuzzer driver themselves.
    target_compile_options(orblane_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
        -fno-omit-frame-pointer)
    target_link_options(orblane_options INTERFACE -fsanitize=address,undefined)
endif()
# The Windows command line, the demo medium's generator and the tests carry the MinGW runtime inside them (no DLL
# to find beside them); the viewer shares it with Qt's DLLs instead.
function(orblane_static_runtime target)
    if(WIN32)
        target_link_options(${target} PRIVATE -static)
    endif()
endfunction()
