#pragma once

// Qt's seeded hash of strings and bytes (every QHash or QSet lookup with such
// keys) computes in 256-bit registers and returns with their upper halves
// still marked in use. Until something clears them, every SSE instruction of
// code built for baseline x86-64 waits on those halves: a polyline's arcs
// took three to four times as long. Clearing them costs a cycle, so the hot
// paths do it on entry and after the lookups they make themselves.

namespace dv {

#if defined(__x86_64__) && !defined(__AVX__) && (defined(__GNUC__) || defined(__clang__))
namespace detail {
inline const bool kHasAvx = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
}();
} // namespace detail

inline void clearUpperVectorState() {
    // Code built without AVX keeps nothing in the upper halves, so there is
    // nothing to lose; on a processor without AVX the instruction must not run.
    if (detail::kHasAvx)
        asm volatile("vzeroupper");
}
#else
// Built for AVX, the compiler clears the halves itself; elsewhere there are none.
inline void clearUpperVectorState() {}
#endif

// True when the upper halves are marked in use, where the processor can tell.
bool upperVectorStateInUse();

} // namespace dv
