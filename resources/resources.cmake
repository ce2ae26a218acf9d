# Build-time generated resources, embedded in the engine library.
# Included by CMakeLists.txt before terravane_core is defined: append generated
# sources to TV_GENERATED_SOURCES (files go into ${TV_GENERATED_DIR}).

# The relief images (four crater fields and the Moon's near side). The
# generator stands alone (it must run before the library exists); it links
# libpng only for its --png option, which writes the images to look at.
add_executable(tool_gen_reliefs ${CMAKE_SOURCE_DIR}/tools/gen_reliefs.cpp)
target_link_libraries(tool_gen_reliefs PRIVATE PNG::PNG)
add_custom_command(
  OUTPUT ${TV_GENERATED_DIR}/relief_data.cpp
  COMMAND tool_gen_reliefs ${TV_GENERATED_DIR}/relief_data.cpp
  DEPENDS tool_gen_reliefs
  COMMENT "Generating the relief images"
  VERBATIM)
list(APPEND TV_GENERATED_SOURCES ${TV_GENERATED_DIR}/relief_data.cpp)

# The dialog's text face: DejaVu Sans (Debian's fonts-dejavu-core), read at
# build time and built into the engine.
set(TV_DIALOG_FONT /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf CACHE FILEPATH "The dialog's font (DejaVu Sans)")
add_executable(tool_gen_font_data ${CMAKE_SOURCE_DIR}/tools/gen_font_data.cpp)
add_custom_command(
  OUTPUT ${TV_GENERATED_DIR}/dialog_font_data.cpp
  COMMAND tool_gen_font_data ${TV_DIALOG_FONT} ${TV_GENERATED_DIR}/dialog_font_data.cpp
  DEPENDS tool_gen_font_data ${TV_DIALOG_FONT}
  COMMENT "Building the dialog's font in"
  VERBATIM)
list(APPEND TV_GENERATED_SOURCES ${TV_GENERATED_DIR}/dialog_font_data.cpp)
