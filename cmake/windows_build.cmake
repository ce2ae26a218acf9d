# The Windows files, cross-built from the Linux build with Debian's mingw-w64:
# `cmake --build build --target windows` (make windows) configures and builds
# build/windows/x86 and build/windows/x64 with cmake/mingw-w64.cmake, after
# unpacking libjpeg-turbo and libpng from Debian's source packages and
# gathering what the Windows build takes from the Linux one (the relief images,
# the dialog's font, the property list and terminology bytes, stb_truetype from
# libstb-dev). zlib is Debian's own Windows build (libz-mingw-w64-dev). Not
# part of the default build; make test builds it.
include(ExternalProject)

find_program(TV_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
find_program(TV_MINGW32_CXX i686-w64-mingw32-g++-posix)
find_program(TV_APT_GET apt-get)
find_program(TV_DPKG_SOURCE dpkg-source)
if(NOT TV_MINGW64_CXX OR NOT TV_MINGW32_CXX OR NOT TV_APT_GET OR NOT TV_DPKG_SOURCE)
  message(STATUS "Windows build not available (needs mingw-w64 with POSIX threads, apt-get and dpkg-source)")
  return()
endif()

set(TV_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows)
set(TV_JPEG_SOURCE ${TV_WINDOWS_DIR}/src/libjpeg-turbo)
add_custom_command(
  OUTPUT ${TV_JPEG_SOURCE}/CMakeLists.txt
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/debian-source libjpeg-turbo ${TV_JPEG_SOURCE}
          --work ${TV_WINDOWS_DIR}/apt
  COMMENT "Unpacking libjpeg-turbo from Debian's source package"
  VERBATIM)

set(TV_PNG_SOURCE ${TV_WINDOWS_DIR}/src/libpng)
add_custom_command(
  OUTPUT ${TV_PNG_SOURCE}/CMakeLists.txt
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/debian-source libpng1.6 ${TV_PNG_SOURCE}
          --work ${TV_WINDOWS_DIR}/apt-png  # its own: the two unpackings may run at once
  COMMENT "Unpacking libpng from Debian's source package"
  VERBATIM)

# stb_truetype is header-only: its folder is copied so that the cross build
# does not search the Linux include folder.
find_path(TV_STB_INCLUDE stb/stb_truetype.h PATHS /usr/include NO_DEFAULT_PATH)
if(NOT TV_STB_INCLUDE)
  message(FATAL_ERROR "stb/stb_truetype.h not found (scripts/install-deps installs libstb-dev)")
endif()
set(TV_WINDOWS_INPUTS ${TV_WINDOWS_DIR}/inputs)
add_custom_command(
  OUTPUT ${TV_WINDOWS_INPUTS}/pipl-wx86.bin ${TV_WINDOWS_INPUTS}/pipl-8664.bin ${TV_WINDOWS_INPUTS}/aete.bin
         ${TV_WINDOWS_INPUTS}/relief_data.cpp ${TV_WINDOWS_INPUTS}/dialog_font_data.cpp
         ${TV_WINDOWS_INPUTS}/include/stb/stb_truetype.h
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TV_WINDOWS_INPUTS}/include/stb
  COMMAND tool_module_resources ${TV_WINDOWS_INPUTS}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TV_GENERATED_DIR}/relief_data.cpp ${TV_WINDOWS_INPUTS}/relief_data.cpp
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TV_GENERATED_DIR}/dialog_font_data.cpp
          ${TV_WINDOWS_INPUTS}/dialog_font_data.cpp
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TV_STB_INCLUDE}/stb/stb_truetype.h
          ${TV_WINDOWS_INPUTS}/include/stb/stb_truetype.h
  DEPENDS tool_module_resources ${TV_GENERATED_DIR}/relief_data.cpp ${TV_GENERATED_DIR}/dialog_font_data.cpp
          ${TV_STB_INCLUDE}/stb/stb_truetype.h
  COMMENT "Generating the Windows build's inputs"
  VERBATIM)
add_custom_target(windows_inputs DEPENDS
  ${TV_JPEG_SOURCE}/CMakeLists.txt ${TV_PNG_SOURCE}/CMakeLists.txt ${TV_WINDOWS_INPUTS}/pipl-wx86.bin
  ${TV_WINDOWS_INPUTS}/relief_data.cpp ${TV_WINDOWS_INPUTS}/dialog_font_data.cpp
  ${TV_WINDOWS_INPUTS}/include/stb/stb_truetype.h)

foreach(arch x86 x64)
  if(arch STREQUAL "x86")
    set(triple_arch i686)
  else()
    set(triple_arch x86_64)
  endif()
  ExternalProject_Add(windows_${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${TV_WINDOWS_DIR}/${arch}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
               -DTV_MINGW_ARCH=${triple_arch}
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DTV_JPEG_SOURCE_DIR=${TV_JPEG_SOURCE}
               -DTV_PNG_SOURCE_DIR=${TV_PNG_SOURCE}
               -DTV_HOST_GENERATED_DIR=${TV_WINDOWS_INPUTS}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON
    EXCLUDE_FROM_ALL ON
    DEPENDS windows_inputs)
endforeach()
add_custom_target(windows DEPENDS windows_x86 windows_x64)

# The checks of the Windows files in ctest (make test builds them first):
# static ones for both, and the 64-bit host and module under Wine against the
# Linux build.
add_test(NAME windows_static_checks
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/windows/static_checks.py ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
find_program(TV_WINE64 wine64 HINTS /usr/lib/wine)
add_test(NAME windows_wine_checks
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/windows/wine_checks.py ${CMAKE_BINARY_DIR})
set_tests_properties(windows_wine_checks PROPERTIES TIMEOUT 900 RUN_SERIAL ON)
# The dialog's Win32 window under Wine on a virtual display (Xvfb).
add_test(NAME windows_wine_dialog
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/windows/wine_dialog.py ${CMAKE_BINARY_DIR})
set_tests_properties(windows_wine_dialog PROPERTIES TIMEOUT 300 RUN_SERIAL ON)
# The Windows host's download limits (WinINet) under Wine.
add_test(NAME windows_download_limits
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/windows/wine_download_limits.py ${CMAKE_BINARY_DIR})
set_tests_properties(windows_download_limits PROPERTIES TIMEOUT 600 RUN_SERIAL ON)
