// The chain kernel for SSE2 (built with the matching instruction-set flags).
#define MORVEX_VECTOR_BYTES 16
#define MORVEX_KERNEL_NAME chainKernel_sse2
#define MORVEX_SINE_NAME chainSine_sse2
#include "chain_kernel.h"
