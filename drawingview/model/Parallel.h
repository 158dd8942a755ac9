#pragma once

// Splits [0, count) into ranges, one per core, and runs `work(begin, end)`
// on each at once, the first on the calling thread. Work below `minPerRange`
// items a range stays on the calling thread alone.

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace dv {

// Asked once: the system reads it from files each time.
inline int workerCount() {
    static const int count = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    return count;
}

template <typename Work> void inParallel(size_t count, size_t minPerRange, const Work& work) {
    const size_t ranges = std::min<size_t>(
        size_t(workerCount()), std::max<size_t>(1, count / std::max<size_t>(1, minPerRange)));
    if (ranges <= 1) {
        work(size_t(0), count);
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(ranges - 1);
    for (size_t r = 1; r < ranges; ++r)
        threads.emplace_back(
            [&work, r, ranges, count] { work(count * r / ranges, count * (r + 1) / ranges); });
    work(size_t(0), count / ranges);
    for (std::thread& t : threads)
        t.join();
}

} // namespace dv
