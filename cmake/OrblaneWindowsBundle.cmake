# The Windows viewer beside the Linux one in a medium's VIEWER/ folder, cross-built (scripts/build-windows), so that
# one disc starts on either system. Windows finds an executable's DLLs in the executable's own folder, so they lie
# beside Orblane.exe; the Linux viewer keeps its libraries in lib/. Both read the same qt.conf (plugins in
# lib/plugins: lib/plugins/platforms/qwindows.dll beside libqxcb.so) and the same four files.
#
# VIEWER/
#   Orblane.exe               the viewer (GUI subsystem, the medium's icon)
#   Qt6Core.dll ...           Qt's DLLs and the MinGW runtime they and the viewer share
#   qt.conf                   [Paths] Prefix=. Plugins=lib/plugins
#   lib/plugins/platforms/qwindows.dll, lib/plugins/styles/qwindowsvistastyle.dll
#   Orblane.ini OrblInf.ini Errinf.csv Orblane.bmp README.txt
# <medium>/autorun.inf        names VIEWER\Orblane.exe and its icon
#
# As OrblaneBundle.cmake: included by the build, orblane_add_windows_viewer_bundle() adds the staging target; run as
# `cmake -DORBLANE_WINDOWS_BUNDLE_CONFIG=... -P OrblaneWindowsBundle.cmake`, it stages.

if(CMAKE_SCRIPT_MODE_FILE)
    cmake_policy(VERSION 3.25)
endif()

# DLLs that every Windows since 8 has in its system folder: never copied. Anything else the viewer asks for and the
# build cannot find fails the staging, rather than leaving a medium that starts nowhere.
set(ORBLANE_WINDOWS_SYSTEM_DLLS
    "^api-ms-win-" "^ext-ms-"
    "^(advapi32|authz|bcrypt|comctl32|comdlg32|crypt32|d3d9|d3d11|d3d12|dwmapi|dwrite|dxgi|gdi32|imm32|kernel32)\\.dll$"
    "^(mpr|msvcrt|netapi32|ntdll|ole32|oleaut32|opengl32|rpcrt4|secur32|setupapi|shcore|shell32|shlwapi)\\.dll$"
    "^(ucrtbase|user32|userenv|usp10|uxtheme|version|winmm|winspool\\.drv|ws2_32|wtsapi32|dcomp)\\.dll$")

set(ORBLANE_WINDOWS_BUNDLE_MODULE "${CMAKE_CURRENT_LIST_FILE}")
# The copy and the shared files (qt.conf above all) are the Linux bundle's own.
include("${CMAKE_CURRENT_LIST_DIR}/OrblaneBundle.cmake")

# orblane_add_windows_viewer_bundle(TARGET EXECUTABLE exe VIEWER_DIR dir MEDIUM_DIR dir FILES file...
#                                   SEARCH_DIRS dir... [DEPENDS target...])
function(orblane_add_windows_viewer_bundle target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXECUTABLE;VIEWER_DIR;MEDIUM_DIR" "FILES;SEARCH_DIRS;DEPENDS")
    find_program(ORBLANE_PE_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump)
    if(NOT ORBLANE_PE_OBJDUMP OR NOT CMAKE_STRIP)
        message(FATAL_ERROR "The Windows viewer's staging needs the MinGW binutils (objdump, strip)")
    endif()
    find_package(Qt6 REQUIRED COMPONENTS Gui Widgets)
    foreach(plugin QWindowsIntegrationPlugin QWindowsVistaStylePlugin)
        if(NOT TARGET Qt6::${plugin})
            find_package(Qt6${plugin} CONFIG QUIET PATHS "${Qt6Gui_DIR}" "${Qt6Widgets_DIR}" NO_DEFAULT_PATH)
        endif()
    endforeach()
    if(NOT TARGET Qt6::QWindowsIntegrationPlugin)
        message(FATAL_ERROR "Qt for Windows lacks its windows platform plugin")
    endif()
    set(plugins "platforms=$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>")
    if(TARGET Qt6::QWindowsVistaStylePlugin)
        list(APPEND plugins "styles=$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>")
    endif()

    set(workDir "${CMAKE_CURRENT_BINARY_DIR}/${target}-bundle")
    set(config "${workDir}/config.cmake")
    set(stamp "${workDir}/staged.stamp")
    file(GENERATE OUTPUT "${config}" CONTENT
"set(ORBLANE_BUNDLE_EXECUTABLE [[$<TARGET_FILE:${arg_EXECUTABLE}>]])
set(ORBLANE_BUNDLE_VIEWER_DIR [[${arg_VIEWER_DIR}]])
set(ORBLANE_BUNDLE_MEDIUM_DIR [[${arg_MEDIUM_DIR}]])
set(ORBLANE_BUNDLE_FILES [[${arg_FILES}]])
set(ORBLANE_BUNDLE_PLUGINS [[${plugins}]])
set(ORBLANE_BUNDLE_SEARCH_DIRS [[${arg_SEARCH_DIRS}]])
set(ORBLANE_BUNDLE_STAMP [[${stamp}]])
set(ORBLANE_PE_OBJDUMP [[${ORBLANE_PE_OBJDUMP}]])
set(ORBLANE_STRIP [[${CMAKE_STRIP}]])
")
    set(pluginFiles $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>)
    add_custom_command(OUTPUT "${stamp}" "${arg_VIEWER_DIR}/Orblane.exe"
        COMMAND ${CMAKE_COMMAND} -DORBLANE_WINDOWS_BUNDLE_CONFIG=${config} -P ${ORBLANE_WINDOWS_BUNDLE_MODULE}
        DEPENDS ${arg_EXECUTABLE} ${arg_FILES} ${pluginFiles} "${config}"
            "${ORBLANE_WINDOWS_BUNDLE_MODULE}" ${arg_DEPENDS}
        COMMENT "Staging the Windows viewer and its DLLs in ${arg_VIEWER_DIR}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS "${stamp}")
endfunction()

# --- The staging, in script mode ----------------------------------------------------------------------------------

function(orblane_windows_bundle_stage)
    set(viewer "${ORBLANE_BUNDLE_VIEWER_DIR}")
    file(MAKE_DIRECTORY "${viewer}")
    set(modules)
    foreach(entry IN LISTS ORBLANE_BUNDLE_PLUGINS)
        string(REGEX REPLACE "^[^=]*=" "" file "${entry}")
        list(APPEND modules "${file}")
    endforeach()

    # The resolver compares DLL names in lower case, as Windows does, and looks for them so: on a file system that
    # tells cases apart it would miss Qt6Core.dll. Each DLL of the search folders is offered under its lower-case
    # name too, the first folder's winning as in the search.
    set(folded "${ORBLANE_BUNDLE_STAMP}.dlls")
    file(REMOVE_RECURSE "${folded}")
    file(MAKE_DIRECTORY "${folded}")
    foreach(directory IN LISTS ORBLANE_BUNDLE_SEARCH_DIRS)
        file(GLOB dlls LIST_DIRECTORIES false "${directory}/*.dll" "${directory}/*.DLL")
        foreach(dll IN LISTS dlls)
            cmake_path(GET dll FILENAME name)
            string(TOLOWER "${name}" lower)
            if(NOT EXISTS "${folded}/${lower}")
                file(CREATE_LINK "${dll}" "${folded}/${lower}" SYMBOLIC)
            endif()
        endforeach()
    endforeach()

    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM "windows+pe")
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL "objdump")
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${ORBLANE_PE_OBJDUMP}")
    file(GET_RUNTIME_DEPENDENCIES
        RESOLVED_DEPENDENCIES_VAR resolved
        UNRESOLVED_DEPENDENCIES_VAR unresolved
        EXECUTABLES "${ORBLANE_BUNDLE_EXECUTABLE}"
        MODULES ${modules}
        DIRECTORIES "${folded}"
        PRE_EXCLUDE_REGEXES ${ORBLANE_WINDOWS_SYSTEM_DLLS})
    # A system DLL's name as the import table spells it (KERNEL32.dll) is matched in lower case.
    set(missing)
    foreach(name IN LISTS unresolved)
        string(TOLOWER "${name}" lower)
        set(system FALSE)
        foreach(pattern IN LISTS ORBLANE_WINDOWS_SYSTEM_DLLS)
            if(lower MATCHES "${pattern}")
                set(system TRUE)
            endif()
        endforeach()
        if(NOT system)
            list(APPEND missing "${name}")
        endif()
    endforeach()
    if(missing)
        message(FATAL_ERROR "The Windows viewer needs DLLs the build cannot find: ${missing}")
    endif()

    set(kept "${viewer}/Orblane.exe")
    foreach(link IN LISTS resolved)
        # The DLL under the name its package gave it.
        file(REAL_PATH "${link}" library)
        cmake_path(GET library FILENAME name)
        orblane_bundle_copy("${library}" "${viewer}/${name}" "")
        list(APPEND kept "${viewer}/${name}")
    endforeach()
    foreach(entry IN LISTS ORBLANE_BUNDLE_PLUGINS)
        string(REGEX MATCH "^[^=]*" kind "${entry}")
        string(REGEX REPLACE "^[^=]*=" "" file "${entry}")
        cmake_path(GET file FILENAME name)
        orblane_bundle_copy("${file}" "${viewer}/lib/plugins/${kind}/${name}" "")
    endforeach()
    # A DLL an earlier build needed and this one does not would only mislead whoever looks at the medium. The Linux
    # viewer's files (lib/ and the rest) are not the Windows staging's to remove.
    file(GLOB present LIST_DIRECTORIES false "${viewer}/*.dll")
    foreach(file IN LISTS present)
        if(NOT file IN_LIST kept)
            file(REMOVE "${file}")
        endif()
    endforeach()

    orblane_bundle_copy("${ORBLANE_BUNDLE_EXECUTABLE}" "${viewer}/Orblane.exe" "")
    # The same qt.conf as the Linux viewer's: Windows' Qt reads it beside Orblane.exe and finds qwindows.dll under
    # lib/plugins/platforms, where the Linux viewer's libqxcb.so lies.
    orblane_bundle_stage_files("${viewer}" "${ORBLANE_BUNDLE_FILES}")
    # Windows names the medium's viewer and icon from the root; AutoPlay offers to start it (Windows no longer
    # starts anything from a medium by itself). CRLF line ends, as Windows writes the file.
    if(ORBLANE_BUNDLE_MEDIUM_DIR)
        cmake_path(RELATIVE_PATH viewer BASE_DIRECTORY "${ORBLANE_BUNDLE_MEDIUM_DIR}" OUTPUT_VARIABLE relative)
        string(REPLACE "/" "\\" relative "${relative}")
        string(REGEX REPLACE "\\\\$" "" relative "${relative}")
        file(WRITE "${ORBLANE_BUNDLE_MEDIUM_DIR}/autorun.inf"
            "[autorun]\r\nopen=${relative}\\Orblane.exe\r\nicon=${relative}\\Orblane.exe,0\r\n")
    endif()

    file(TOUCH "${ORBLANE_BUNDLE_STAMP}")
    file(TOUCH_NOCREATE "${viewer}/Orblane.exe")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED ORBLANE_WINDOWS_BUNDLE_CONFIG)
    include("${ORBLANE_WINDOWS_BUNDLE_CONFIG}")
    orblane_windows_bundle_stage()
endif()
