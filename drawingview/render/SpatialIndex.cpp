#include "SpatialIndex.h"

#include "model/Bounds.h"
#include "model/Parallel.h"
#include "model/VectorState.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv {

namespace {

void addInsert(Box& box, const Document& doc, const Insert& ins,
               const SpatialIndex::BlockBounds& blockBounds) {
    if (ins.block < 0 || ins.block >= int(doc.blocks.size()))
        return;
    const Box inner = blockBounds ? blockBounds(ins.block) : doc.blockExtents(ins.block);
    if (!inner.isValid())
        return;
    addInsertBounds(box, ins, inner, doc.blocks[ins.block].basePoint);
}

} // namespace

Box shapeBounds(const Document& doc, const Block& b, const Shape& s,
                const SpatialIndex::BlockBounds& blockBounds) {
    Box box;
    switch (s.kind) {
    case ShapeKind::Text:
        if (s.first < b.texts.size())
            addTextReach(box, b.texts[s.first]);
        break;
    case ShapeKind::Insert:
        if (s.first < b.inserts.size())
            addInsert(box, doc, b.inserts[s.first], blockBounds);
        break;
    default:
        addOwnShapeBounds(box, b, s);
        break;
    }
    // A wide pen, or the shapes of a line's pattern, reach beyond the centre line.
    const double beyond = std::max(
        s.width > 0 ? s.width / 2.0 : 0.0,
        s.kind == ShapeKind::Polyline || s.kind == ShapeKind::Arc ? doc.patternShapeReach(s) : 0.0);
    if (box.isValid() && beyond > 0)
        box.minX -= beyond, box.minY -= beyond, box.maxX += beyond, box.maxY += beyond;
    return box;
}

SpatialIndex::SpatialIndex(const Document& doc, int block, const BlockBounds& blockBounds) {
    if (block < 0 || block >= int(doc.blocks.size()))
        return;
    clearUpperVectorState();
    const Block& b = doc.blocks[block];
    const size_t count = b.shapes.size();
    m_bounds.resize(count);
    constexpr size_t perRange = 32768;
    if (count < 2 * perRange) {
        for (size_t i = 0; i < count; ++i)
            m_bounds[i] = shapeBounds(doc, b, b.shapes[i], blockBounds);
    } else {
        // The inserted blocks' bounds first, on this thread: finding them
        // may build their indexes, which is one thread's work.
        std::vector<Box> inner(doc.blocks.size());
        std::vector<char> asked(doc.blocks.size(), 0);
        for (const Insert& ins : b.inserts)
            if (ins.block >= 0 && ins.block < int(doc.blocks.size()) && !asked[size_t(ins.block)]) {
                inner[size_t(ins.block)] =
                    blockBounds ? blockBounds(ins.block) : doc.blockExtents(ins.block);
                asked[size_t(ins.block)] = 1;
            }
        const BlockBounds known = [&inner](int i) {
            return i >= 0 && size_t(i) < inner.size() ? inner[size_t(i)] : Box{};
        };
        inParallel(count, perRange, [&](size_t from, size_t to) {
            for (size_t i = from; i < to; ++i)
                m_bounds[i] = shapeBounds(doc, b, b.shapes[i], known);
        });
    }
    for (const Box& box : m_bounds) {
        m_total.add(box);
        m_boxed += box.isValid() ? 1 : 0;
    }
    int layerZero = -1;
    for (size_t i = 0; i < doc.layers.size() && layerZero < 0; ++i)
        if (doc.layers[i].name == QLatin1String("0"))
            layerZero = int(i);
    m_footprint = BlockFootprint(doc, b, m_total, layerZero);
}

SpatialIndex::~SpatialIndex() = default;

const PackedRTree& SpatialIndex::tree() const {
    std::call_once(m_packed, [this] {
        m_tree = PackedRTree(m_bounds);
        m_isPacked.store(true, std::memory_order_release);
    });
    return m_tree;
}

void SpatialIndex::query(const Box& area, std::vector<uint32_t>& out) const {
    tree().query(area, m_bounds, out);
}

size_t SpatialIndex::size() const {
    return m_boxed;
}

} // namespace dv
