// The batched noise built for avx512: 16 lanes.
#define TV_KERNEL_LANES 16
#define TV_KERNEL_TABLE noiseKernelsAvx512
#include "synth/noise_kernels_impl.h"
