#pragma once

// Faults in the memory a reader is about to fill, on a thread of its own and
// a little ahead of the reader. Fresh pages must be cleared by the kernel
// when first written; on a large drawing that is a good part of the reading
// thread's time, and it can as well be spent on an idle core. Faulting in
// never changes what memory holds, so the warmer needs no lock with the
// reader's writes, and a region that moves (a vector that grew) is only
// warmed in vain.

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace dv {

class PageWarmer {
public:
    static constexpr size_t kRegions = 2;
    // `ahead` bytes beyond what the reader has used are kept warm.
    explicit PageWarmer(size_t ahead = size_t(8) << 20);
    ~PageWarmer();
    PageWarmer(const PageWarmer&) = delete;
    PageWarmer& operator=(const PageWarmer&) = delete;

    // Region `i` now starts at `base`, holds `capacity` bytes and is used up
    // to `used`. Cheap enough to call every few thousand entities.
    void reached(size_t i, const void* base, size_t used, size_t capacity);
    // Pages faulted in so far, for tests.
    size_t warmedBytes() const;
    // True once the kernel has said it cannot fault in ahead.
    bool unsupported() const;

private:
    struct Region {
        const char* base = nullptr;
        size_t used = 0, capacity = 0;
        size_t warm = 0; // bytes from base already faulted in
    };
    void run();

    const size_t m_ahead;
    std::array<Region, kRegions> m_regions{};
    size_t m_warmed = 0;
    bool m_stop = false;
    bool m_unsupported = false;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
};

} // namespace dv
