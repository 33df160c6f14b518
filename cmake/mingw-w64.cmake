# Cross compilation for Windows with Debian's mingw-w64 toolchain. Included by the per-arch
# toolchain files, which set QUIRLOMAT_MINGW_ARCH first.
#
# The posix flavour of the compilers is the one to use: GCC 12's win32 thread model has no
# std::thread or std::mutex, which Qt 6 needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUIRLOMAT_MINGW_ARCH})
set(triple ${QUIRLOMAT_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-ranlib CACHE FILEPATH "")

# Headers, libraries and CMake packages come from the mingw sysroot and the Windows toolkit
# (Qt, libsodium) only; programs run at build time are the host's.
# QUIRLOMAT_WINDOWS_TOOLKIT lists the toolkit's prefixes (tools/build-windows-toolkit --paths).
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${QUIRLOMAT_WINDOWS_TOOLKIT})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUIRLOMAT_MINGW_ARCH QUIRLOMAT_WINDOWS_TOOLKIT)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
