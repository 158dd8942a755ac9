#include "RenderScene.h"

namespace dv {

RenderScene::RenderScene(std::shared_ptr<const Document> document)
    : m_document(std::move(document)), m_indexes(m_document->blocks.size()) {}

const SpatialIndex& RenderScene::index(int block) const {
    auto& slot = m_indexes[block];
    if (!slot)
        slot = std::make_unique<SpatialIndex>(*m_document, block);
    return *slot;
}

void RenderScene::buildAll() const {
    for (size_t i = 0; i < m_indexes.size(); ++i)
        index(int(i));
}

} // namespace dv
