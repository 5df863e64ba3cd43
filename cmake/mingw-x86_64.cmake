# The same program for x86-64: it runs the Windows tests under 64-bit Wine where the kernel
# cannot run 32-bit code, so 32-bit Wine cannot start.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
