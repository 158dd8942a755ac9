#include "HugePages.h"

#include <cstdint>

#include <sys/mman.h>

namespace dv {

void adviseHugePages(const void* data, size_t bytes) {
    const size_t huge = size_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace dv
