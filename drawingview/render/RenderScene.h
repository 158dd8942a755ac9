#pragma once

// A document ready to draw: the document and one spatial index per block,
// built on first use.

#include "SpatialIndex.h"
#include "model/Document.h"

#include <memory>
#include <vector>

namespace dv {

class RenderScene {
public:
    explicit RenderScene(std::shared_ptr<const Document> document);

    const Document& document() const { return *m_document; }
    const SpatialIndex& index(int block) const;
    // Builds every block's index now rather than during the first paint.
    void buildAll() const;

private:
    std::shared_ptr<const Document> m_document;
    mutable std::vector<std::unique_ptr<SpatialIndex>> m_indexes;
};

} // namespace dv
