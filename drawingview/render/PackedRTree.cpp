#include "PackedRTree.h"

#include "model/Parallel.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace dv {

namespace {

struct Entry {
    double x, y; // centre
    uint32_t index;
};

// Orders `entries` into tiles: slices by x, each sorted by y, so that runs
// of `fanout` make compact boxes.
void tile(std::vector<Entry>& entries) {
    const size_t n = entries.size();
    const size_t groups = (n + PackedRTree::fanout - 1) / PackedRTree::fanout;
    const size_t slices = std::max<size_t>(1, size_t(std::ceil(std::sqrt(double(groups)))));
    const size_t perSlice = ((n + slices - 1) / slices + PackedRTree::fanout - 1) /
                            PackedRTree::fanout * PackedRTree::fanout;
    // Ties broken by index, so that the order, and so the tree, is the same
    // however the sorting was shared out.
    const auto byX = [](const Entry& a, const Entry& b) {
        return a.x < b.x || (a.x == b.x && a.index < b.index);
    };
    const auto byY = [](const Entry& a, const Entry& b) {
        return a.y < b.y || (a.y == b.y && a.index < b.index);
    };
    constexpr size_t perRange = 65536;
    if (n < 2 * perRange) {
        std::sort(entries.begin(), entries.end(), byX);
    } else {
        // Each range sorted on its own core, then merged in turn.
        std::vector<std::pair<size_t, size_t>> sorted;
        std::mutex noting;
        inParallel(n, perRange, [&](size_t from, size_t to) {
            std::sort(entries.begin() + std::ptrdiff_t(from), entries.begin() + std::ptrdiff_t(to),
                      byX);
            std::lock_guard lock(noting);
            sorted.emplace_back(from, to);
        });
        std::sort(sorted.begin(), sorted.end());
        for (size_t r = 1; r < sorted.size(); ++r)
            std::inplace_merge(entries.begin(), entries.begin() + std::ptrdiff_t(sorted[r].first),
                               entries.begin() + std::ptrdiff_t(sorted[r].second), byX);
    }
    const size_t sliceCount = (n + perSlice - 1) / perSlice;
    inParallel(sliceCount, n < 2 * perRange ? sliceCount : 1, [&](size_t first, size_t last) {
        for (size_t slice = first; slice < last; ++slice) {
            const size_t from = slice * perSlice;
            const auto begin = entries.begin() + std::ptrdiff_t(from);
            const auto end = entries.begin() + std::ptrdiff_t(std::min(n, from + perSlice));
            std::sort(begin, end, byY);
        }
    });
}

Entry centreOf(const Box& b, uint32_t index) {
    return {(b.minX + b.maxX) / 2, (b.minY + b.maxY) / 2, index};
}

} // namespace

PackedRTree::PackedRTree(const std::vector<Box>& boxes) {
    std::vector<Entry> entries;
    entries.reserve(boxes.size());
    for (uint32_t i = 0; i < boxes.size(); ++i)
        if (boxes[i].isValid())
            entries.push_back(centreOf(boxes[i], i));
    if (entries.empty())
        return;
    tile(entries);
    m_items.reserve(entries.size());
    std::vector<Node> level;
    level.reserve(entries.size() / fanout + 1);
    for (size_t from = 0; from < entries.size(); from += fanout) {
        Node leaf;
        leaf.first = uint32_t(m_items.size());
        for (size_t k = from; k < std::min(entries.size(), from + fanout); ++k) {
            m_items.push_back(entries[k].index);
            leaf.box.add(boxes[entries[k].index]);
        }
        leaf.count = uint32_t(m_items.size()) - leaf.first;
        level.push_back(leaf);
    }
    m_nodes.reserve(level.size() * fanout / (fanout - 1) + 2);
    while (level.size() > 1) {
        // This level in tile order, then one parent for each run of children.
        entries.clear();
        for (uint32_t i = 0; i < level.size(); ++i)
            entries.push_back(centreOf(level[i].box, i));
        tile(entries);
        const uint32_t base = uint32_t(m_nodes.size());
        for (const Entry& e : entries)
            m_nodes.push_back(level[e.index]);
        std::vector<Node> parents;
        for (uint32_t from = 0; from < entries.size(); from += fanout) {
            Node parent;
            parent.first = base + from;
            parent.count = std::min<uint32_t>(fanout, uint32_t(entries.size()) - from);
            parent.level = level[0].level + 1;
            for (uint32_t k = 0; k < parent.count; ++k)
                parent.box.add(m_nodes[base + from + k].box);
            parents.push_back(parent);
        }
        level = std::move(parents);
    }
    m_nodes.push_back(level[0]);
}

void PackedRTree::query(const Box& area, const std::vector<Box>& boxes,
                        std::vector<uint32_t>& out) const {
    if (m_nodes.empty() || !area.isValid())
        return;
    // Fifteen siblings wait at each level; 2^32 items make eight levels.
    uint32_t stack[256];
    int top = 0;
    stack[top++] = root();
    while (top > 0) {
        const Node& node = m_nodes[stack[--top]];
        if (!node.box.intersects(area))
            continue;
        if (node.level == 0) {
            for (uint32_t k = node.first; k < node.first + node.count; ++k)
                if (boxes[m_items[k]].intersects(area))
                    out.push_back(m_items[k]);
            continue;
        }
        for (uint32_t k = 0; k < node.count; ++k)
            stack[top++] = node.first + k;
    }
}

} // namespace dv
