// The batched noise built for avx2: 8 lanes.
#define TV_KERNEL_LANES 8
#define TV_KERNEL_TABLE noiseKernelsAvx2
#include "synth/noise_kernels_impl.h"
