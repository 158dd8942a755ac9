#pragma once

// A packed R-tree of a block's shapes by their bounds in block coordinates.
// Inserts are entered by the bounds of what they place.

#include "BlockFootprint.h"
#include "PackedRTree.h"
#include "model/Document.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace dv {

class SpatialIndex {
public:
    // Bounds of an inserted block, in its own coordinates.
    using BlockBounds = std::function<Box(int block)>;

    // Without `blockBounds` the document's own estimate is used.
    SpatialIndex(const Document& document, int block, const BlockBounds& blockBounds = {});
    ~SpatialIndex();

    // Indexes (into Block::shapes) of the shapes whose bounds meet `area`.
    // The tree is packed on the first query, by whichever thread asks: a
    // view of the whole block reads the bounds alone, so the first picture
    // of a drawing need not wait for it.
    void query(const Box& area, std::vector<uint32_t>& out) const;
    const Box& bounds(uint32_t shape) const { return m_bounds[shape]; }
    size_t size() const;
    // Bounds of everything in the block.
    const Box& total() const { return m_total; }
    // The block as it looks a few pixels across, when it can be drawn so.
    const BlockFootprint& footprint() const { return m_footprint; }
    const PackedRTree& tree() const;
    bool treePacked() const { return m_isPacked.load(std::memory_order_acquire); }

private:
    mutable std::once_flag m_packed;
    mutable PackedRTree m_tree;
    mutable std::atomic<bool> m_isPacked{false};
    size_t m_boxed = 0;        // shapes with bounds
    std::vector<Box> m_bounds; // per shape, invalid when it has none
    Box m_total;
    BlockFootprint m_footprint;
};

// Bounds of one shape in its block's coordinates.
Box shapeBounds(const Document& document, const Block& block, const Shape& shape,
                const SpatialIndex::BlockBounds& blockBounds = {});

} // namespace dv
