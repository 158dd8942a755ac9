#pragma once

// A document ready to draw: the document and one spatial index per block,
// built on first use. Safe to draw from several threads at once.

#include "SpatialIndex.h"
#include "model/Document.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace dv {

class RenderScene {
public:
    explicit RenderScene(std::shared_ptr<const Document> document);

    const Document& document() const { return *m_document; }
    const SpatialIndex& index(int block) const;
    // Builds every block's index now rather than during the first paint.
    // Their trees are packed when first queried, or by packTrees().
    void buildAll() const;
    // Packs every index's tree now, so that no later view waits for one.
    void packTrees() const;

private:
    // The bounds an inserted block draws within, from its own index.
    Box blockBounds(int block) const;

    std::shared_ptr<const Document> m_document;
    mutable std::vector<std::unique_ptr<SpatialIndex>> m_indexes;
    mutable std::vector<char> m_building; // blocks whose index is being built
    mutable int m_depth = 0;
    // Until every index is built, building takes the lock; the lock is
    // recursive as an index asks for the indexes of the blocks it inserts.
    mutable std::recursive_mutex m_buildLock;
    mutable std::atomic<bool> m_allBuilt{false};
};

} // namespace dv
