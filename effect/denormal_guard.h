// While an object of this type lives, subnormal results are flushed to zero (FTZ) and
// subnormal operands read as zero (DAZ); the caller's mode comes back when it dies. A filter
// ringing out into silence decays through the subnormal range, which costs many times the
// usual time per operation on most processors. Only x86 with SSE has these bits; elsewhere
// this does nothing.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#define MORVEX_HAVE_MXCSR 1
#else
#define MORVEX_HAVE_MXCSR 0
#endif

class DenormalsFlushed {
public:
#if MORVEX_HAVE_MXCSR
    DenormalsFlushed() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
    ~DenormalsFlushed() { _mm_setcsr(saved_); }
#else
    DenormalsFlushed() {}
#endif
    DenormalsFlushed(const DenormalsFlushed&) = delete;
    DenormalsFlushed& operator=(const DenormalsFlushed&) = delete;

#if MORVEX_HAVE_MXCSR
    static constexpr unsigned kFlushToZero = 1u << 15;
    static constexpr unsigned kDenormalsAreZero = 1u << 6;

private:
    unsigned saved_;
#endif
};
