# Each library exports an include root of its own, holding its folder and nothing else, so
# that "folder/header.h" compiles only where the link line has the library: a layer that
# reaches into one it does not link fails to build instead of growing a hidden dependency.
# The root is a folder of the build tree with a link to the library's source folder (or to
# the headers listed after HEADERS alone), under the same path as in the source tree.
#
#   quirlomat_include_root(<target> [HEADERS <header>...])
function(quirlomat_include_root target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "HEADERS")
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
    set(root "${PROJECT_BINARY_DIR}/include/${target}")
    if(arg_HEADERS)
        list(TRANSFORM arg_HEADERS PREPEND "${folder}/" OUTPUT_VARIABLE links)
    else()
        set(links "${folder}")
    endif()
    foreach(link IN LISTS links)
        if(NOT IS_SYMLINK "${root}/${link}")
            cmake_path(GET link PARENT_PATH parent)
            file(MAKE_DIRECTORY "${root}/${parent}")
            file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${link}" "${root}/${link}" SYMBOLIC)
        endif()
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE "${root}")
    else()
        target_include_directories(${target} PUBLIC "${root}")
    endif()
endfunction()
