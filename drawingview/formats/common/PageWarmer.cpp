#include "PageWarmer.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace dv {

namespace {

size_t pageSize() {
    static const size_t size = size_t(std::max(4096L, ::sysconf(_SC_PAGESIZE)));
    return size;
}

} // namespace

PageWarmer::PageWarmer(size_t ahead) : m_ahead(ahead) {
    m_thread = std::thread([this] { run(); });
}

PageWarmer::~PageWarmer() {
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PageWarmer::reached(size_t i, const void* base, size_t used, size_t capacity) {
    if (i >= kRegions)
        return;
    bool wake = false;
    {
        std::lock_guard lock(m_lock);
        Region& r = m_regions[i];
        if (r.base != base) {
            r.base = static_cast<const char*>(base);
            r.warm = 0;
        }
        r.used = used;
        r.capacity = capacity;
        wake = r.warm < std::min(capacity, used + m_ahead / 2);
    }
    if (wake)
        m_wake.notify_one();
}

size_t PageWarmer::warmedBytes() const {
    std::lock_guard lock(m_lock);
    return m_warmed;
}

bool PageWarmer::unsupported() const {
    std::lock_guard lock(m_lock);
    return m_unsupported;
}

void PageWarmer::run() {
    std::unique_lock lock(m_lock);
    while (!m_stop && !m_unsupported) {
        // The region furthest behind what it should have ready.
        Region* next = nullptr;
        uintptr_t from = 0, to = 0;
        for (Region& r : m_regions) {
            const size_t want = std::min(r.capacity, r.used + m_ahead);
            if (!r.base || r.warm >= want)
                continue;
            const uintptr_t page = pageSize();
            const uintptr_t begin = reinterpret_cast<uintptr_t>(r.base) + std::max(r.warm, r.used);
            const uintptr_t end = reinterpret_cast<uintptr_t>(r.base) + want;
            from = (begin + page - 1) & ~(page - 1);
            to = end & ~(page - 1);
            r.warm = want;
            if (to > from) {
                next = &r;
                break;
            }
        }
        if (!next) {
            m_wake.wait(lock);
            continue;
        }
        // Outside the lock: the reader goes on meanwhile. At most a few
        // megabytes at a time, so that a moved region is left soon.
        const size_t step = size_t(2) << 20;
        lock.unlock();
        size_t done = 0;
        bool failed = false;
        for (uintptr_t p = from; p < to && !failed; p += step) {
            const size_t n = size_t(std::min<uintptr_t>(step, to - p));
            // Memory freed meanwhile gives ENOMEM, which is harmless; an old
            // kernel without the advice gives EINVAL and ends the warming.
            if (::madvise(reinterpret_cast<void*>(p), n, MADV_POPULATE_WRITE) != 0)
                failed = true;
            else
                done += n;
        }
        const bool unsupported = failed && errno == EINVAL;
        lock.lock();
        m_warmed += done;
        m_unsupported = unsupported;
    }
}

} // namespace dv
