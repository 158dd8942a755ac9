#include "RasterPyramid.h"

#include "model/Parallel.h"

#include <algorithm>
#include <cstdint>
#include <thread>

namespace dv::raster {

namespace {

// Averages four pixels channel by channel, rounding to nearest. Two channels
// travel in each 32-bit word (0x00ff00ff lanes), so a sum of four fits.
inline uint32_t average4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    constexpr uint32_t mask = 0x00ff00ffu;
    const uint32_t lo = (a & mask) + (b & mask) + (c & mask) + (d & mask) + 0x00020002u;
    const uint32_t hi =
        ((a >> 8) & mask) + ((b >> 8) & mask) + ((c >> 8) & mask) + ((d >> 8) & mask) + 0x00020002u;
    return ((lo >> 2) & mask) | (((hi >> 2) & mask) << 8);
}

void halveRow(const uint32_t* r0, const uint32_t* r1, int srcWidth, uint32_t* out) {
    const int pairs = srcWidth / 2;
    for (int x = 0; x < pairs; ++x)
        out[x] = average4(r0[2 * x], r0[2 * x + 1], r1[2 * x], r1[2 * x + 1]);
    if (srcWidth & 1) {
        const int last = srcWidth - 1;
        out[pairs] = average4(r0[last], r0[last], r1[last], r1[last]);
    }
}

} // namespace

QImage halve(const QImage& src) {
    Q_ASSERT(src.format() == QImage::Format_RGB32 ||
             src.format() == QImage::Format_ARGB32_Premultiplied);
    const int w = (src.width() + 1) / 2;
    const int h = (src.height() + 1) / 2;
    QImage dst(w, h, src.format());
    if (dst.isNull())
        return dst;
    // Rows are independent: big images are shared out between the cores in
    // bands; `dst` is detached here, before any thread writes to it.
    uchar* const dstBits = dst.bits();
    const qsizetype dstStride = dst.bytesPerLine();
    const auto halveRows = [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const int y0 = 2 * y;
            const int y1 = std::min(y0 + 1, src.height() - 1);
            halveRow(reinterpret_cast<const uint32_t*>(src.constScanLine(y0)),
                     reinterpret_cast<const uint32_t*>(src.constScanLine(y1)), src.width(),
                     reinterpret_cast<uint32_t*>(dstBits + y * dstStride));
        }
    };
    const int64_t pixels = int64_t(w) * h;
    const int bands = pixels < 1'000'000 ? 1 : workerCount();
    std::vector<std::thread> workers;
    for (int b = 1; b < bands; ++b)
        workers.emplace_back(halveRows, int(int64_t(h) * b / bands),
                             int(int64_t(h) * (b + 1) / bands));
    halveRows(0, int(int64_t(h) / bands));
    for (std::thread& t : workers)
        t.join();
    return dst;
}

std::vector<QImage> buildPyramid(const QImage& full, int minLongSide,
                                 const std::function<void(int)>& progress) {
    std::vector<QImage> levels;
    if (full.isNull())
        return levels;
    // Each level reads four times fewer pixels than the one before, so the
    // first level is about three quarters of the work.
    const double total = double(full.width()) * full.height() * 4.0 / 3.0;
    double done = 0;
    QImage current = full; // shared, not copied
    while (std::max(current.width(), current.height()) > std::max(1, minLongSide)) {
        done += double(current.width()) * current.height();
        current = halve(current);
        if (current.isNull())
            break;
        levels.push_back(current);
        if (progress)
            progress(int(std::min(100.0, 100.0 * done / total)));
    }
    if (progress)
        progress(100);
    return levels;
}

} // namespace dv::raster
