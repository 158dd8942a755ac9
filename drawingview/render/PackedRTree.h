#pragma once

// A static R-tree packed in one go, sort-tile-recursive: items are ordered
// by x into slices and by y within them, sixteen to a leaf, and the same
// again for each level of nodes above. Nodes sit in one array, each level's
// children next to one another, so a walk touches little memory and the
// renderer can stop at any node.

#include "model/Document.h"

#include <cstdint>
#include <vector>

namespace dv {

class PackedRTree {
public:
    static constexpr uint32_t fanout = 16;

    struct Node {
        Box box;
        uint32_t first = 0; // into items() for leaves, into nodes() above them
        uint32_t count = 0;
        uint32_t level = 0; // 0 for leaves
    };

    // Invalid boxes are left out; an item is its index in `boxes`.
    explicit PackedRTree(const std::vector<Box>& boxes);
    PackedRTree() = default;

    bool empty() const { return m_nodes.empty(); }
    uint32_t root() const { return uint32_t(m_nodes.size() - 1); }
    const std::vector<Node>& nodes() const { return m_nodes; }
    // Item indexes, leaf by leaf.
    const std::vector<uint32_t>& items() const { return m_items; }

    // Every item whose box meets `area`, in no particular order.
    void query(const Box& area, const std::vector<Box>& boxes, std::vector<uint32_t>& out) const;

private:
    std::vector<Node> m_nodes;
    std::vector<uint32_t> m_items;
};

} // namespace dv
