# Windows, 32-bit (i686), cross-built with MinGW-w64 and tested under Wine.
set(MOBI_MINGW_ARCH i686)
set(MOBI_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
