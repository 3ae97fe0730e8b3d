// The chain kernel for AVX2 (built with the matching instruction-set flags).
#define MORVEX_VECTOR_BYTES 32
#define MORVEX_KERNEL_NAME chainKernel_avx2
#define MORVEX_SINE_NAME chainSine_avx2
#include "chain_kernel.h"
