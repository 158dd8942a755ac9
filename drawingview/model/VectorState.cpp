#include "VectorState.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#endif

namespace dv {

bool upperVectorStateInUse() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    unsigned a = 0, b = 0, c = 0, d = 0;
    // XGETBV with ECX=1 reports the state components in use, where the
    // processor has it (CPUID 0Dh.1 EAX bit 2) and the system enabled XSAVE.
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & (1u << 27)))
        return false;
    if (__get_cpuid_max(0, nullptr) < 0xD)
        return false;
    __cpuid_count(0xD, 1, a, b, c, d);
    if (!(a & (1u << 2)))
        return false;
    unsigned lo = 0, hi = 0;
    asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
    // Bit 2: the upper halves of YMM; bit 6: the upper halves of ZMM0-15.
    return (lo & ((1u << 2) | (1u << 6))) != 0;
#else
    return false;
#endif
}

} // namespace dv
