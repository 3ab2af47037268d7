# One static library per layer. A layer's headers are reached through a folder of the build that holds a link to
# that layer's source folder and nothing else, and a library sees only its own folder and those of the libraries it
# links: an include that runs back up (dicom/ including viewer/) names a header the compiler cannot find.
function(orblane_layer target folder)
    set(view ${CMAKE_BINARY_DIR}/layers/${folder})
    file(MAKE_DIRECTORY ${view})
    if(NOT EXISTS ${view}/${folder})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${view}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC ${view})
endfunction()
