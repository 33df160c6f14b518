# 64-bit Windows (x64), with x86_64-w64-mingw32-g++-posix.
set(QUIRLOMAT_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
