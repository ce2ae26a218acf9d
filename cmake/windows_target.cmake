# The Windows build (cross-compiled with cmake/mingw-w64.cmake, configured and
# driven by cmake/windows_build.cmake from the Linux build): the plug-in module
# "Terravane-193 32bit.8bf" or "Terravane-193 64bit.8bf" and terravane.exe.
#
# Inputs from the driving build:
#   TV_JPEG_SOURCE_DIR     libjpeg-turbo's source, unpacked from Debian's source package
#   TV_PNG_SOURCE_DIR      libpng's, likewise (zlib is Debian's libz-mingw-w64-dev)
#   TV_HOST_GENERATED_DIR  files made by the Linux build's generators: relief_data.cpp,
#                          dialog_font_data.cpp, pipl-wx86.bin, pipl-8664.bin, aete.bin,
#                          and include/stb/stb_truetype.h
include(ExternalProject)
enable_language(RC)

if(TV_MINGW_ARCH STREQUAL "i686")
  set(TV_BITS 32)
  set(TV_CODE_PROPERTY wx86)
  # SSE2 arithmetic, as on x86-64, so that both give the same results (the x87
  # unit rounds differently); hosts call in with a 4-byte aligned stack.
  add_compile_options(-msse2 -mfpmath=sse -mincoming-stack-boundary=2)
else()
  set(TV_BITS 64)
  set(TV_CODE_PROPERTY 8664)
endif()
set(TV_MODULE_NAME "Terravane-193 ${TV_BITS}bit")
add_compile_definitions(_WIN32_WINNT=0x0601 UNICODE _UNICODE)

# libjpeg-turbo (the 6.2 interface), built for this target from Debian's source.
set(TV_JPEG_BUILD ${CMAKE_BINARY_DIR}/libjpeg-turbo)
ExternalProject_Add(libjpeg_turbo
  SOURCE_DIR ${TV_JPEG_SOURCE_DIR}
  BINARY_DIR ${TV_JPEG_BUILD}
  CMAKE_ARGS -G Ninja
             -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
             -DTV_MINGW_ARCH=${TV_MINGW_ARCH}
             -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=${TV_JPEG_BUILD}/unused
             -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target jpeg-static
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${TV_JPEG_BUILD}/libjpeg.a)
file(MAKE_DIRECTORY ${TV_JPEG_BUILD})
add_library(tv_jpeg STATIC IMPORTED)
set_target_properties(tv_jpeg PROPERTIES
  IMPORTED_LOCATION ${TV_JPEG_BUILD}/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES "${TV_JPEG_BUILD};${TV_JPEG_SOURCE_DIR}")
add_dependencies(tv_jpeg libjpeg_turbo)

# libpng (the headless window peer's screenshots, PNG files in the host), built
# for this target from Debian's source on Debian's zlib for mingw-w64.
set(TV_ZLIB_LIBRARY /usr/${TV_MINGW_ARCH}-w64-mingw32/lib/libz.a)
set(TV_ZLIB_INCLUDE /usr/${TV_MINGW_ARCH}-w64-mingw32/include)
if(NOT EXISTS ${TV_ZLIB_LIBRARY})
  message(FATAL_ERROR "${TV_ZLIB_LIBRARY} is missing (scripts/install-deps installs libz-mingw-w64-dev)")
endif()
set(TV_PNG_BUILD ${CMAKE_BINARY_DIR}/libpng)
ExternalProject_Add(libpng
  SOURCE_DIR ${TV_PNG_SOURCE_DIR}
  BINARY_DIR ${TV_PNG_BUILD}
  CMAKE_ARGS -G Ninja
             -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
             -DTV_MINGW_ARCH=${TV_MINGW_ARCH}
             -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=${TV_PNG_BUILD}/unused
             -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF
             -DPNG_HARDWARE_OPTIMIZATIONS=OFF
             -DZLIB_LIBRARY=${TV_ZLIB_LIBRARY} -DZLIB_INCLUDE_DIR=${TV_ZLIB_INCLUDE}
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target png_static
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${TV_PNG_BUILD}/libpng16.a)
file(MAKE_DIRECTORY ${TV_PNG_BUILD})
add_library(tv_zlib STATIC IMPORTED)
set_target_properties(tv_zlib PROPERTIES IMPORTED_LOCATION ${TV_ZLIB_LIBRARY})
add_library(tv_png STATIC IMPORTED)
set_target_properties(tv_png PROPERTIES
  IMPORTED_LOCATION ${TV_PNG_BUILD}/libpng16.a
  INTERFACE_INCLUDE_DIRECTORIES "${TV_PNG_BUILD};${TV_PNG_SOURCE_DIR}"
  INTERFACE_LINK_LIBRARIES tv_zlib)
add_dependencies(tv_png libpng)

# The engine: everything under src/ but the other systems' backends and the
# module's entry file (the headless window peer is every system's).
file(GLOB_RECURSE TV_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
list(FILTER TV_CORE_SOURCES EXCLUDE REGEX "/src/platform/(posix|gtk)/")
list(FILTER TV_CORE_SOURCES EXCLUDE REGEX "/src/host/module/")
include(${CMAKE_SOURCE_DIR}/cmake/simd_kernels.cmake)
tv_filter_simd_sources(TV_CORE_SOURCES)
add_library(terravane_core STATIC ${TV_CORE_SOURCES} ${TV_HOST_GENERATED_DIR}/relief_data.cpp
            ${TV_HOST_GENERATED_DIR}/dialog_font_data.cpp)
tv_configure_simd(terravane_core)
target_include_directories(terravane_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_include_directories(terravane_core PRIVATE ${TV_HOST_GENERATED_DIR}/include)
target_link_libraries(terravane_core PUBLIC tv_jpeg tv_png wininet shell32 comdlg32 comctl32 gdi32 user32)

# Everything links the C++ runtime, libgcc and winpthreads statically, so that
# the files need only system libraries.
set(TV_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  list(APPEND TV_STATIC_RUNTIME -s)  # no symbol tables in the shipped files
endif()

# The module, with its property list, terminology and version as resources.
set(TV_PIPL_FILE ${TV_HOST_GENERATED_DIR}/pipl-${TV_CODE_PROPERTY}.bin)
set(TV_AETE_FILE ${TV_HOST_GENERATED_DIR}/aete.bin)
set(TV_FILE_NAME "${TV_MODULE_NAME}.8bf")
set(TV_FILE_DESCRIPTION "Terravane planet filter (${TV_BITS}-bit)")
set(TV_FILE_TYPE VFT_DLL)
configure_file(${CMAKE_SOURCE_DIR}/resources/windows/module.rc.in ${CMAKE_BINARY_DIR}/module.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/module.rc PROPERTIES OBJECT_DEPENDS "${TV_PIPL_FILE};${TV_AETE_FILE}")
file(GLOB TV_MODULE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/host/module/*.cpp)
add_library(terravane_plugin MODULE ${TV_MODULE_SOURCES} ${CMAKE_BINARY_DIR}/module.rc)
target_link_libraries(terravane_plugin PRIVATE terravane_core)
target_link_options(terravane_plugin PRIVATE ${TV_STATIC_RUNTIME} -Wl,--no-undefined)
set_target_properties(terravane_plugin PROPERTIES
  PREFIX "" SUFFIX ".8bf" OUTPUT_NAME "${TV_MODULE_NAME}"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The command-line host, loading the module from beside itself.
file(GLOB TV_APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/apps/terravane/*.cpp)
set(TV_APP_LIB_SOURCES ${TV_APP_SOURCES})
list(FILTER TV_APP_LIB_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(terravane_app STATIC ${TV_APP_LIB_SOURCES})
target_include_directories(terravane_app PUBLIC ${CMAKE_SOURCE_DIR}/apps/terravane)
target_link_libraries(terravane_app PUBLIC terravane_core)
# libpng is cross-built, TIFF and OpenEXR libraries are not: PNG, PPM, PGM,
# BMP and PFM files.
target_compile_definitions(terravane_app PRIVATE TV_NO_TIFF TV_NO_EXR)
set(TV_FILE_NAME "terravane.exe")
set(TV_FILE_DESCRIPTION "Terravane command-line host (${TV_BITS}-bit)")
set(TV_FILE_TYPE VFT_APP)
set(TV_PIPL_FILE "")
configure_file(${CMAKE_SOURCE_DIR}/resources/windows/module.rc.in ${CMAKE_BINARY_DIR}/host.rc @ONLY)
add_executable(terravane ${CMAKE_SOURCE_DIR}/apps/terravane/main.cpp ${CMAKE_BINARY_DIR}/host.rc)
target_link_libraries(terravane PRIVATE terravane_app)
target_link_options(terravane PRIVATE ${TV_STATIC_RUNTIME})
set_target_properties(terravane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(terravane terravane_plugin)
