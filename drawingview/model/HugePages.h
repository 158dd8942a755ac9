#pragma once

// Filling megabytes of fresh memory page by page costs more in page faults
// than the reading that fills them; where the system allows, large pages cut
// their number by a factor of 512. Advice only: nothing changes if refused.

#include <cstddef>
#include <memory>

namespace dv {

// Advises large pages for the whole 2 MB pages within [data, data + bytes).
void adviseHugePages(const void* data, size_t bytes);

// Memory for an array filled soon after: from a megabyte on it is whole 2 MB
// pages, aligned and advised, so that large pages can back all of it.
// Throws std::bad_alloc.
void* allocateForHugePages(size_t bytes);
void releaseForHugePages(void* p, size_t bytes);

// Zeroed memory for a buffer that is filled next and then only read. From
// 128 KB on it is fresh whole 2 MB pages, advised: zero already, and filled
// in one fault per 2 MB instead of one per 4 KB, which on virtual machines
// costs far more than clearing the large page. Throws std::bad_alloc.
std::shared_ptr<char> zeroedForHugePages(size_t bytes);

template <typename T> struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <typename U> HugePageAllocator(const HugePageAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(allocateForHugePages(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { releaseForHugePages(p, n * sizeof(T)); }
    bool operator==(const HugePageAllocator&) const { return true; }
};

} // namespace dv
