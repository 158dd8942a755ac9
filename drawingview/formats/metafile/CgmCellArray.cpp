#include "CgmInterpreter.h"

#include <QImage>

namespace dv::cgm {

namespace {

constexpr int64_t kMaxCells = int64_t(1) << 24;

// Big-endian bits of one element's colour data; reading past the end throws.
class BitReader {
public:
    BitReader(const char* data, size_t size) : m_data(data), m_bits(size * 8) {}

    uint32_t read(int n) {
        if (m_bits - m_pos < size_t(n))
            throw FormatError(QStringLiteral("the cell array's colour data end early"));
        uint64_t v = 0;
        for (int i = 0; i < n; ++i, ++m_pos)
            v = (v << 1) | ((uint8_t(m_data[m_pos / 8]) >> (7 - m_pos % 8)) & 1u);
        return uint32_t(v);
    }
    // Rows start on a 16-bit boundary.
    void alignRow() { m_pos = std::min(m_bits, (m_pos + 15) / 16 * 16); }
    size_t bitsLeft() const { return m_bits - m_pos; }

private:
    const char* m_data;
    size_t m_bits;
    size_t m_pos = 0;
};

} // namespace

void Interpreter::cellArray(ParamReader& r) {
    const Vec2 p = readPoint(r), q = readPoint(r), rr = readPoint(r);
    const int64_t nx = r.integer(), ny = r.integer();
    int64_t precision = r.integer();
    const int mode = r.enumeration();
    if (nx <= 0 || ny <= 0)
        throw FormatError(QStringLiteral("the cell array has %1 x %2 cells").arg(nx).arg(ny));
    if (nx > kMaxCells || ny > kMaxCells || nx * ny > kMaxCells || size_t(nx * ny) > m_cellBudget)
        throw FormatError(QStringLiteral("the cell array of %1 x %2 cells is larger than the "
                                         "%3 cells we read")
                              .arg(nx)
                              .arg(ny)
                              .arg(std::min<int64_t>(kMaxCells, int64_t(m_cellBudget))));
    const bool direct = m_state.prec.directColour;
    if (precision == 0)
        precision = direct ? m_state.prec.colour : m_state.prec.colourIndex;
    if (precision != 1 && precision != 2 && precision != 4 && precision != 8 && precision != 16 &&
        precision != 24 && precision != 32)
        throw FormatError(
            QStringLiteral("the cell array's colour precision %1 is not allowed").arg(precision));
    if (mode != 0 && mode != 1)
        throw FormatError(
            QStringLiteral("the cell array's representation mode %1 is unknown").arg(mode));
    const int bits = int(precision);
    const int64_t cellBits = direct ? 3 * bits : bits;
    const Precisions& prec = m_state.prec;
    const double maxValue = double((uint64_t(1) << bits) - 1);

    auto colour = [&](BitReader& in) -> QRgb {
        if (!direct)
            return 0xFF000000u | m_state.indexColour(in.read(bits));
        uint32_t rgb = 0;
        for (int c = 0; c < 3; ++c) {
            const double raw = in.read(bits);
            // The value extent applies at the metafile's colour precision.
            double lo = 0, hi = maxValue;
            if (bits == prec.colour) {
                lo = prec.colourMin[c];
                hi = prec.colourMax[c];
            }
            const double t = hi > lo ? std::clamp((raw - lo) / (hi - lo), 0.0, 1.0) : 0.0;
            rgb = (rgb << 8) | uint32_t(t * 255 + 0.5);
        }
        return 0xFF000000u | rgb;
    };

    BitReader in(r.bytes(), r.remaining());
    if (mode == 1) {
        // Packed rows: check the data holds them all before allocating.
        const int64_t rowBits = nx * cellBits;
        const int64_t needed = (ny - 1) * ((rowBits + 15) / 16 * 16) + rowBits;
        if (int64_t(in.bitsLeft()) < needed)
            throw FormatError(QStringLiteral("the cell array's colour data end early: %1 x %2 "
                                             "cells need %3 bytes, %4 are there")
                                  .arg(nx)
                                  .arg(ny)
                                  .arg((needed + 7) / 8)
                                  .arg(r.remaining()));
    } else if (int64_t(in.bitsLeft()) < ny * (prec.integer + cellBits)) {
        throw FormatError(QStringLiteral("the cell array's colour data end early"));
    }

    QImage image(int(nx), int(ny), QImage::Format_RGB32);
    if (image.isNull())
        throw FormatError(QStringLiteral("the cell array does not fit into memory"));
    for (int64_t j = 0; j < ny; ++j) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(j)));
        if (mode == 1) {
            for (int64_t i = 0; i < nx; ++i)
                line[i] = colour(in);
        } else {
            // Runs: a count, then one colour; each run reads bits, so the
            // loop ends with the row or the data.
            int64_t filled = 0;
            while (filled < nx) {
                const int64_t count = int64_t(in.read(prec.integer));
                const QRgb c = colour(in);
                if (count > nx - filled)
                    throw FormatError(
                        QStringLiteral("a run of the cell array passes the end of row %1")
                            .arg(j + 1));
                std::fill(line + filled, line + filled + count, c);
                filled += count;
            }
        }
        in.alignRow();
    }
    m_cellBudget -= size_t(nx * ny);

    const Vec2 o = map(p), corner = map(rr), opposite = map(q);
    Image img;
    img.image = std::make_shared<const QImage>(std::move(image));
    img.origin = o;
    img.u = {(corner.x - o.x) / double(nx), (corner.y - o.y) / double(nx)};
    img.v = {(opposite.x - corner.x) / double(ny), (opposite.y - corner.y) / double(ny)};
    Block& b = m_doc.blocks[size_t(m_block)];
    styled(b.addImage(img), 0, 0, QStringLiteral("CELL ARRAY"));
}

} // namespace dv::cgm
