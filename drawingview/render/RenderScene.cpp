#include "RenderScene.h"

namespace dv {

namespace {
// Nesting deeper than this takes the document's estimate for inner blocks
// rather than building their indexes first.
constexpr int maxNesting = 64;
} // namespace

RenderScene::RenderScene(std::shared_ptr<const Document> document)
    : m_document(std::move(document)), m_indexes(m_document->blocks.size()),
      m_building(m_document->blocks.size(), 0) {}

const SpatialIndex& RenderScene::index(int block) const {
    if (m_allBuilt.load(std::memory_order_acquire))
        return *m_indexes[block];
    std::lock_guard lock(m_buildLock);
    auto& slot = m_indexes[block];
    if (!slot) {
        m_building[block] = 1;
        ++m_depth;
        auto built = std::make_unique<SpatialIndex>(
            *m_document, block, [this](int inner) { return blockBounds(inner); });
        --m_depth;
        m_building[block] = 0;
        m_indexes[block] = std::move(built);
    }
    return *m_indexes[block];
}

Box RenderScene::blockBounds(int block) const {
    if (block < 0 || block >= int(m_indexes.size()))
        return {};
    if (m_indexes[block])
        return m_indexes[block]->total();
    // A block that inserts itself, or nesting beyond reason.
    if (m_building[block] || m_depth >= maxNesting)
        return m_document->blockExtents(block);
    return index(block).total();
}

void RenderScene::buildAll() const {
    if (m_allBuilt.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(m_buildLock);
    for (size_t i = 0; i < m_indexes.size(); ++i)
        index(int(i));
    m_allBuilt.store(true, std::memory_order_release);
}

void RenderScene::packTrees() const {
    buildAll();
    for (const auto& index : m_indexes)
        index->tree();
}

} // namespace dv
