# Cross-builds the Windows program for x86-64 with MinGW-w64's posix thread model. The i686 build is the
# product; this one runs the Windows tests under 64-bit Wine where the kernel cannot run 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
