# A medium's VIEWER/ folder that runs on any Linux desktop with nothing installed: the viewer, its four files, the Qt
# plugins it loads and every library they need beyond the desktop's base, found through RPATH $ORIGIN.
#
# One file, two roles, so that the base list below is written once:
#   - included by the build, orblane_add_viewer_bundle() adds the target that stages a medium's VIEWER/ folder;
#   - run by that target as `cmake -DORBLANE_BUNDLE_CONFIG=... -P OrblaneBundle.cmake`, it does the staging.
#
# VIEWER/
#   Orblane                   the viewer (RPATH $ORIGIN/lib), stays here: it finds its files via /proc/self/exe
#   Orblane.ini OrblInf.ini Errinf.csv Orblane.bmp README.txt
#   qt.conf                   points Qt at the bundled plugins and never the host's
#   lib/                      the libraries (RPATH $ORIGIN)
#   lib/plugins/platforms/    libqxcb.so for a desktop, libqoffscreen.so for runs without a display

# Functions keep the policies in force where they are defined; in script mode none are set unless we say so.
if(CMAKE_SCRIPT_MODE_FILE)
    cmake_policy(VERSION 3.25)
endif()

# What every desktop provides and the bundle must not replace: glibc must match the kernel's loader, X11 and GL
# talk to the machine's own server and graphics driver, fontconfig, freetype, glib and D-Bus read the machine's own
# configuration. A regex matches the start of a file name (the soname as well as the versioned file).
set(ORBLANE_BUNDLE_BASE_LIBRARIES
    "^ld-linux"
    "^lib(c|m|dl|pthread|rt|resolv|util|anl|mvec)\\.so"
    # libX11 opens libXcursor (and through it libXrender and libXfixes) itself, for the desktop's cursor theme.
    "^lib(X11|X11-xcb|xcb|Xau|Xdmcp|Xcursor|Xrender|Xfixes|Xext)\\.so"
    # libOpenGL is not among them: Debian's libgl1 and libegl1 do not pull in libopengl0.
    "^lib(GL|EGL|GLX|GLdispatch)\\.so"
    "^lib(fontconfig|freetype)\\.so"
    "^lib(glib|gobject|gio|gmodule|gthread)-2\\.0\\.so"
    "^libdbus-1\\.so")
# Debian 12's packages that hold that base, with what they pull in: the minimal desktop the bundle test starts the
# viewer on (debootstrap's minbase and these, nothing else). libc6 is part of minbase.
set(ORBLANE_BUNDLE_BASE_PACKAGES
    libx11-6 libx11-xcb1 libxcb1 libxau6 libxdmcp6 libxcursor1 libxrender1 libxfixes3 libxext6
    libgl1 libegl1 libglx0 libglvnd0
    libfontconfig1 libfreetype6 libglib2.0-0 libdbus-1-3)

set(ORBLANE_BUNDLE_MODULE "${CMAKE_CURRENT_LIST_FILE}")

# orblane_add_viewer_bundle(TARGET EXECUTABLE exe VIEWER_DIR dir FILES file... [DEPENDS target...])
# Adds TARGET (built by ALL) that stages EXECUTABLE, FILES and their libraries into VIEWER_DIR. The step reruns when
# the executable, a file or this module changes, and then copies only the libraries whose source is newer.
function(orblane_add_viewer_bundle target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXECUTABLE;VIEWER_DIR" "FILES;DEPENDS")
    find_program(ORBLANE_PATCHELF patchelf)
    if(NOT ORBLANE_PATCHELF)
        message(FATAL_ERROR "The medium's VIEWER/ folder needs patchelf (Debian package patchelf, see "
            "scripts/install-deps)")
    endif()
    if(NOT CMAKE_STRIP)
        message(FATAL_ERROR "The medium's VIEWER/ folder needs strip (binutils)")
    endif()
    # The plugins' imported targets are visible only where they were found, and not every Qt package (Debian's)
    # loads them with Qt6Gui.
    find_package(Qt6 REQUIRED COMPONENTS Gui)
    foreach(plugin QXcbIntegrationPlugin QOffscreenIntegrationPlugin)
        if(NOT TARGET Qt6::${plugin})
            find_package(Qt6${plugin} CONFIG REQUIRED PATHS "${Qt6Gui_DIR}" NO_DEFAULT_PATH)
        endif()
    endforeach()

    set(workDir "${CMAKE_CURRENT_BINARY_DIR}/${target}-bundle")
    set(config "${workDir}/config.cmake")
    set(stamp "${workDir}/staged.stamp")
    set(plugins $<TARGET_FILE:Qt6::QXcbIntegrationPlugin> $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>)
    file(GENERATE OUTPUT "${config}" CONTENT
"set(ORBLANE_BUNDLE_EXECUTABLE [[$<TARGET_FILE:${arg_EXECUTABLE}>]])
set(ORBLANE_BUNDLE_VIEWER_DIR [[${arg_VIEWER_DIR}]])
set(ORBLANE_BUNDLE_FILES [[${arg_FILES}]])
set(ORBLANE_BUNDLE_PLATFORM_PLUGINS [[${plugins}]])
set(ORBLANE_BUNDLE_STAMP [[${stamp}]])
set(ORBLANE_PATCHELF [[${ORBLANE_PATCHELF}]])
set(ORBLANE_STRIP [[${CMAKE_STRIP}]])
")
    # The whole-program tests of the bundle read the base lists from here rather than keeping copies of their own.
    list(JOIN ORBLANE_BUNDLE_BASE_LIBRARIES "\n" baseLines)
    file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/bundle-base-libraries.txt" CONTENT "${baseLines}\n" @ONLY)
    list(JOIN ORBLANE_BUNDLE_BASE_PACKAGES "\n" packageLines)
    file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/bundle-base-packages.txt" CONTENT "${packageLines}\n" @ONLY)

    # The viewer is an output too, so that a VIEWER/ folder someone deleted is staged again.
    add_custom_command(OUTPUT "${stamp}" "${arg_VIEWER_DIR}/Orblane"
        COMMAND ${CMAKE_COMMAND} -DORBLANE_BUNDLE_CONFIG=${config} -P ${ORBLANE_BUNDLE_MODULE}
        DEPENDS ${arg_EXECUTABLE} ${arg_FILES} ${plugins} "${config}" "${ORBLANE_BUNDLE_MODULE}" ${arg_DEPENDS}
        COMMENT "Staging the viewer and its libraries in ${arg_VIEWER_DIR}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS "${stamp}")
endfunction()

# --- The staging, in script mode ----------------------------------------------------------------------------------

# Copies `source` to `destination` unless the copy is already newer, strips it and sets its RPATH. DT_RPATH rather
# than DT_RUNPATH: the executable's RPATH then also serves the plugins Qt opens with dlopen, and LD_LIBRARY_PATH on
# the reader's machine cannot swap a host library in.
# An empty `rpath` leaves the copy's search path alone (a Windows DLL has none).
function(orblane_bundle_copy source destination rpath)
    file(REAL_PATH "${source}" real)
    if(EXISTS "${destination}" AND NOT "${real}" IS_NEWER_THAN "${destination}")
        return()
    endif()
    cmake_path(GET destination PARENT_PATH folder)
    file(MAKE_DIRECTORY "${folder}")
    # Never strip or patch the build's own files or the system's: only the copy.
    file(COPY_FILE "${real}" "${destination}.part")
    execute_process(COMMAND "${ORBLANE_STRIP}" --strip-unneeded "${destination}.part" COMMAND_ERROR_IS_FATAL ANY)
    if(NOT rpath STREQUAL "")
        execute_process(COMMAND "${ORBLANE_PATCHELF}" --force-rpath --set-rpath "${rpath}" "${destination}.part"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()
    file(RENAME "${destination}.part" "${destination}")
endfunction()

# The viewer's four files and README beside it, and the qt.conf that both systems' viewers read on one medium: Qt
# reads qt.conf beside the executable and takes relative paths from that folder. Without it Qt would look for plugins
# in the folder it was built for, the host's, whose plugins need the host's Qt.
function(orblane_bundle_stage_files viewer files)
    foreach(file IN LISTS files)
        cmake_path(GET file FILENAME name)
        file(COPY_FILE "${file}" "${viewer}/${name}" ONLY_IF_DIFFERENT)
    endforeach()
    file(CONFIGURE OUTPUT "${viewer}/qt.conf" CONTENT "[Paths]\nPrefix=.\nPlugins=lib/plugins\n")
endfunction()

function(orblane_bundle_stage)
    set(viewer "${ORBLANE_BUNDLE_VIEWER_DIR}")
    file(MAKE_DIRECTORY "${viewer}")

    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM "linux+elf")
    file(GET_RUNTIME_DEPENDENCIES
        RESOLVED_DEPENDENCIES_VAR resolved
        UNRESOLVED_DEPENDENCIES_VAR unresolved
        CONFLICTING_DEPENDENCIES_PREFIX conflicting
        EXECUTABLES "${ORBLANE_BUNDLE_EXECUTABLE}"
        MODULES ${ORBLANE_BUNDLE_PLATFORM_PLUGINS}
        PRE_EXCLUDE_REGEXES ${ORBLANE_BUNDLE_BASE_LIBRARIES})
    if(unresolved)
        message(FATAL_ERROR "The viewer needs libraries this machine lacks: ${unresolved}")
    endif()
    # On a merged /usr one library is found as /lib/... and /usr/lib/...: the same file, so either serves.
    foreach(name IN LISTS conflicting_FILENAMES)
        list(GET conflicting_${name} 0 first)
        file(REAL_PATH "${first}" firstReal)
        foreach(candidate IN LISTS conflicting_${name})
            file(REAL_PATH "${candidate}" candidateReal)
            if(NOT candidateReal STREQUAL firstReal)
                message(FATAL_ERROR "Two different copies of ${name}: ${conflicting_${name}}")
            endif()
        endforeach()
        list(APPEND resolved "${first}")
    endforeach()

    set(kept)
    foreach(library IN LISTS resolved)
        # Named by the soname the loader asks for; the copy is a plain file, no symlink chain on the medium.
        cmake_path(GET library FILENAME name)
        orblane_bundle_copy("${library}" "${viewer}/lib/${name}" "$ORIGIN")
        list(APPEND kept "${viewer}/lib/${name}")
    endforeach()
    foreach(plugin IN LISTS ORBLANE_BUNDLE_PLATFORM_PLUGINS)
        cmake_path(GET plugin FILENAME name)
        orblane_bundle_copy("${plugin}" "${viewer}/lib/plugins/platforms/${name}" "$ORIGIN/../..")
        list(APPEND kept "${viewer}/lib/plugins/platforms/${name}")
    endforeach()
    # A library an earlier build needed and this one does not would only mislead whoever looks at the medium.
    file(GLOB_RECURSE present LIST_DIRECTORIES false "${viewer}/lib/*")
    foreach(file IN LISTS present)
        if(NOT file IN_LIST kept)
            file(REMOVE "${file}")
        endif()
    endforeach()

    orblane_bundle_copy("${ORBLANE_BUNDLE_EXECUTABLE}" "${viewer}/Orblane" "$ORIGIN/lib")
    file(CHMOD "${viewer}/Orblane" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
    orblane_bundle_stage_files("${viewer}" "${ORBLANE_BUNDLE_FILES}")

    file(TOUCH "${ORBLANE_BUNDLE_STAMP}")
    # Both outputs newer than every input, or the build would stage again each time.
    file(TOUCH_NOCREATE "${viewer}/Orblane")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED ORBLANE_BUNDLE_CONFIG)
    include("${ORBLANE_BUNDLE_CONFIG}")
    orblane_bundle_stage()
endif()
