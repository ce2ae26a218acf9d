// The batched noise built for sse2: 4 lanes.
#define TV_KERNEL_LANES 4
#define TV_KERNEL_TABLE noiseKernelsSse2
#include "synth/noise_kernels_impl.h"
