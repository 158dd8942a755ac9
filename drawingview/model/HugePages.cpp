#include "HugePages.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace dv {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// Below this a large page would mostly hold nothing.
constexpr size_t kHugeFrom = size_t(1) << 20;

} // namespace

void* allocateForHugePages(size_t bytes) {
    if (bytes < kHugeFrom)
        return ::operator new(bytes);
    if (bytes > SIZE_MAX - kHugePage)
        throw std::bad_alloc();
    const size_t whole = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* p = std::aligned_alloc(kHugePage, whole);
    if (!p)
        throw std::bad_alloc();
    adviseHugePages(p, whole);
    return p;
}

void releaseForHugePages(void* p, size_t bytes) {
    if (bytes < kHugeFrom)
        ::operator delete(p);
    else
        std::free(p);
}

void adviseHugePages(const void* data, size_t bytes) {
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace dv
