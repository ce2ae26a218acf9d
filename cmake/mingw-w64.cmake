# Cross-compiling for Windows with Debian's mingw-w64 (the POSIX thread model,
# whose winpthreads the C++ runtime needs for its threads and mutexes).
# TV_MINGW_ARCH selects the target: x86_64 (64-bit) or i686 (32-bit).
if(NOT TV_MINGW_ARCH)
  set(TV_MINGW_ARCH x86_64)
endif()
set(TV_MINGW_TRIPLE ${TV_MINGW_ARCH}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7 and later
if(TV_MINGW_ARCH STREQUAL "i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

set(CMAKE_C_COMPILER ${TV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TV_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${TV_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TV_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The toolchain file is read again by try_compile projects: pass the choice on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TV_MINGW_ARCH)
