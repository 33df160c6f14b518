# What the layers link from outside: libsodium (the target sodium_library), XCB and Qt.
# libsodium comes through pkg-config on Linux; on Windows it is the static library of the
# Windows toolkit (tools/build-windows-toolkit), which has no pkg-config.
add_library(sodium_library INTERFACE)
if(WIN32)
    # A build folder configured before against another toolkit (an older recipe's, another
    # version) would go on linking what it found there: CMake keeps found paths in its cache.
    if(DEFINED CACHE{QUIRLOMAT_TOOLKIT_USED}
       AND NOT QUIRLOMAT_TOOLKIT_USED STREQUAL QUIRLOMAT_WINDOWS_TOOLKIT)
        get_cmake_property(cached CACHE_VARIABLES)
        foreach(variable IN LISTS cached)
            get_property(value CACHE ${variable} PROPERTY VALUE)
            foreach(prefix IN LISTS QUIRLOMAT_TOOLKIT_USED)
                string(FIND "${value}" "${prefix}/" at)
                if(at EQUAL 0)
                    unset(${variable} CACHE)
                endif()
            endforeach()
        endforeach()
    endif()
    set(QUIRLOMAT_TOOLKIT_USED "${QUIRLOMAT_WINDOWS_TOOLKIT}" CACHE INTERNAL
        "The Windows toolkit whose paths the cache holds")
    find_path(QUIRLOMAT_SODIUM_INCLUDE_DIR sodium.h REQUIRED)
    find_library(QUIRLOMAT_SODIUM_LIBRARY NAMES libsodium.a REQUIRED)
    target_include_directories(sodium_library INTERFACE "${QUIRLOMAT_SODIUM_INCLUDE_DIR}")
    target_link_libraries(sodium_library INTERFACE "${QUIRLOMAT_SODIUM_LIBRARY}")
    # Without it the header declares every function as imported from a DLL.
    target_compile_definitions(sodium_library INTERFACE SODIUM_STATIC)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(Sodium REQUIRED IMPORTED_TARGET libsodium)
    pkg_check_modules(Xcb REQUIRED IMPORTED_TARGET xcb)
    target_link_libraries(sodium_library INTERFACE PkgConfig::Sodium)
endif()
find_package(Qt6 6.2 REQUIRED COMPONENTS Core Gui Widgets)
