# 32-bit Windows (x86), with i686-w64-mingw32-g++-posix.
set(QUIRLOMAT_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
