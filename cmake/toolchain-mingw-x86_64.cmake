# Windows, 64-bit (x86_64), cross-built with MinGW-w64 and tested under Wine.
set(MOBI_MINGW_ARCH x86_64)
set(MOBI_WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
