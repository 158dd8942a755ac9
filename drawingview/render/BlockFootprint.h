#pragma once

// What a block looks like a few pixels across: the cells of a small grid
// over its bounds that its lines and fills cover. An insert that small is
// drawn from these cells instead of shape by shape. Only blocks drawn in
// one colour and lineweight that all come from the insert qualify, so the
// cells need nothing of the shapes but where they are.

#include "model/Document.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace dv {

class BlockFootprint {
public:
    static constexpr int cells = 16; // a side of the grid
    // Where the single colour (and lineweight) of the block comes from.
    enum class Source : uint8_t { None, InsertLayer, InsertItself };

    BlockFootprint() = default;
    // `bounds` is the block's extent in its own coordinates; `layerZero` the
    // index of layer "0", whose shapes take the insert's layer.
    BlockFootprint(const Document& document, const Block& block, const Box& bounds, int layerZero);

    // None when the block cannot be drawn from its footprint.
    Source color() const { return m_color; }
    Source lineWeight() const { return m_lineWeight; }
    bool covers(int x, int y) const { return m_rows[size_t(y)] >> x & 1u; }
    // Centre of a cell in block coordinates.
    Vec2 cellCentre(int x, int y) const {
        return {m_bounds.minX + (x + 0.5) * m_bounds.width() / cells,
                m_bounds.minY + (y + 0.5) * m_bounds.height() / cells};
    }
    // The grid halved `halvings` times (0 to 2): a cell of it is covered when
    // any of the finer cells it holds is. At most 64 cells, bit x + y * side.
    uint64_t coarse(int halvings) const { return m_coarse[size_t(std::clamp(halvings, 0, 2))]; }
    const Box& bounds() const { return m_bounds; }

private:
    void mark(Vec2 p);
    void markLine(Vec2 a, Vec2 b);

    Source m_color = Source::None;
    Source m_lineWeight = Source::None;
    Box m_bounds;
    std::array<uint16_t, cells> m_rows{};
    // 8x8, 4x4 and 2x2 (as 64-bit masks) for drawing; the 16x16 rows above
    // only while building.
    std::array<uint64_t, 3> m_coarse{};
};

} // namespace dv
