# The batched noise is built once per instruction set and chosen at run time
# (synth/simd.h); the wider builds enable no fused multiply-add, so every path
# gives the same bits. Shared by the Linux and the Windows build.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$" AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(TV_SIMD_WIDE ON)
else()
  set(TV_SIMD_WIDE OFF)
endif()

# Drops the wide kernels from a source list where they cannot be built.
function(tv_filter_simd_sources list)
  if(NOT TV_SIMD_WIDE)
    set(sources ${${list}})
    list(FILTER sources EXCLUDE REGEX "/src/synth/noise_kernels_avx(2|512)\\.cpp$")
    set(${list} ${sources} PARENT_SCOPE)
  endif()
endfunction()

function(tv_configure_simd target)
  if(NOT TV_SIMD_WIDE)
    return()
  endif()
  set(avx2 -mavx2)
  set(avx512 -mavx512f -mavx512vl -mavx512bw -mavx512dq)
  if(WIN32)
    # Windows keeps the stack 16-byte aligned only, and GCC there spills 32-
    # and 64-byte vectors with aligned moves: the assembler makes them unaligned.
    list(APPEND avx2 -Wa,-muse-unaligned-vector-move)
    list(APPEND avx512 -Wa,-muse-unaligned-vector-move)
  endif()
  set_source_files_properties(${CMAKE_SOURCE_DIR}/src/synth/noise_kernels_avx2.cpp TARGET_DIRECTORY ${target}
                              PROPERTIES COMPILE_OPTIONS "${avx2}")
  set_source_files_properties(${CMAKE_SOURCE_DIR}/src/synth/noise_kernels_avx512.cpp TARGET_DIRECTORY ${target}
                              PROPERTIES COMPILE_OPTIONS "${avx512}")
  target_compile_definitions(${target} PRIVATE TV_SIMD_AVX2 TV_SIMD_AVX512)
endfunction()
