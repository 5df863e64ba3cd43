# The Windows program: 32-bit, cross-built with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VL_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
