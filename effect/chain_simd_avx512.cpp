// The chain kernel for AVX512 (built with the matching instruction-set flags).
#define MORVEX_VECTOR_BYTES 64
#define MORVEX_KERNEL_NAME chainKernel_avx512
#define MORVEX_SINE_NAME chainSine_avx512
#include "chain_kernel.h"
