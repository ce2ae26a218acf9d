#include "synth/simd.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tv {

// One table per path, from noise_kernels_*.cpp (each built for its instruction set).
const NoiseKernels& noiseKernelsSse2();
#if defined(TV_SIMD_AVX2)
const NoiseKernels& noiseKernelsAvx2();
#endif
#if defined(TV_SIMD_AVX512)
const NoiseKernels& noiseKernelsAvx512();
#endif

namespace {

constexpr int32_t kUnset = -2;
std::atomic<int32_t> gForced{kUnset};

int32_t forcedFromEnvironment() {
    const char* name = std::getenv("TERRAVANE_SIMD");
    return name ? simdPathNamed(name) : -1;
}

}  // namespace

bool simdPathSupported(int32_t path) {
    switch (path) {
        case kSimdSse2:
            return true;
#if defined(TV_SIMD_AVX2) && (defined(__GNUC__) || defined(__clang__))
        case kSimdAvx2:
            return __builtin_cpu_supports("avx2");
#endif
#if defined(TV_SIMD_AVX512) && (defined(__GNUC__) || defined(__clang__))
        case kSimdAvx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
#endif
        default:
            return false;
    }
}

int32_t simdPath() {
    int32_t forced = gForced.load();
    if (forced == kUnset) {
        int32_t fromEnvironment = forcedFromEnvironment();
        if (fromEnvironment >= 0 && !simdPathSupported(fromEnvironment)) fromEnvironment = -1;
        gForced.compare_exchange_strong(forced, fromEnvironment);
        forced = gForced.load();
    }
    if (forced >= 0) return forced;
    for (int32_t p = kSimdPathCount - 1; p > kSimdSse2; --p)
        if (simdPathSupported(p)) return p;
    return kSimdSse2;
}

bool setSimdPath(int32_t path) {
    if (path < 0) {
        gForced.store(-1);
        return true;
    }
    if (!simdPathSupported(path)) return false;
    gForced.store(path);
    return true;
}

const char* simdPathName(int32_t path) {
    switch (path) {
        case kSimdSse2: return "sse2";
        case kSimdAvx2: return "avx2";
        case kSimdAvx512: return "avx512";
        default: return "unknown";
    }
}

int32_t simdPathNamed(const char* name) {
    for (int32_t p = 0; p < kSimdPathCount; ++p)
        if (std::strcmp(name, simdPathName(p)) == 0) return p;
    return -1;
}

const NoiseKernels& noiseKernelsOf(int32_t path) {
    switch (path) {
#if defined(TV_SIMD_AVX2)
        case kSimdAvx2: return noiseKernelsAvx2();
#endif
#if defined(TV_SIMD_AVX512)
        case kSimdAvx512: return noiseKernelsAvx512();
#endif
        default: return noiseKernelsSse2();
    }
}

const NoiseKernels& noiseKernels() { return noiseKernelsOf(simdPath()); }

}  // namespace tv
