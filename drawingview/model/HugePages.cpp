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
// Memory nobody clears is worth a large page sooner.
constexpr size_t kZeroedHugeFrom = size_t(128) << 10;

size_t wholeHugePages(size_t bytes) {
    if (bytes > SIZE_MAX - 2 * kHugePage)
        throw std::bad_alloc();
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

} // namespace

void* allocateForHugePages(size_t bytes) {
    if (bytes < kHugeFrom)
        return ::operator new(bytes);
    const size_t whole = wholeHugePages(bytes);
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

std::shared_ptr<char> zeroedForHugePages(size_t bytes) {
    if (bytes < kZeroedHugeFrom) {
        char* p = static_cast<char*>(std::calloc(bytes ? bytes : 1, 1));
        if (!p)
            throw std::bad_alloc();
        return std::shared_ptr<char>(p, [](char* q) { std::free(q); });
    }
    // Mapped with a large page's slack, then trimmed to whole aligned pages.
    const size_t whole = wholeHugePages(bytes);
    const size_t span = whole + kHugePage;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t first = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t begin = (first + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = begin + whole;
    if (begin > first)
        ::munmap(raw, begin - first);
    if (first + span > end)
        ::munmap(reinterpret_cast<void*>(end), first + span - end);
    char* p = reinterpret_cast<char*>(begin);
    ::madvise(p, whole, MADV_HUGEPAGE);
    return std::shared_ptr<char>(p, [whole](char* q) { ::munmap(q, whole); });
}

void adviseHugePages(const void* data, size_t bytes) {
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace dv
