// The packed R-tree finds exactly what a scan of every box finds, and its
// nodes hold their children.

#include "render/PackedRTree.h"

#include <QTest>

#include <algorithm>
#include <random>

using namespace dv;

namespace {

Box box(double x0, double y0, double x1, double y1) {
    Box b;
    b.add(x0, y0);
    b.add(x1, y1);
    return b;
}

std::vector<uint32_t> scan(const std::vector<Box>& boxes, const Box& area) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < boxes.size(); ++i)
        if (boxes[i].isValid() && boxes[i].intersects(area))
            out.push_back(i);
    return out;
}

} // namespace

class TestPackedRTree : public QObject {
    Q_OBJECT

private slots:
    void queriesMatchAScan_data() {
        QTest::addColumn<int>("count");
        // 300,000 is sorted and measured on several cores at once.
        for (int n : {0, 1, 15, 16, 17, 255, 256, 257, 5000, 70'000, 300'000})
            QTest::addRow("%d", n) << n;
    }
    void queriesMatchAScan() {
        QFETCH(int, count);
        std::mt19937 rng(uint32_t(count) + 1);
        std::uniform_real_distribution<double> at(-500, 500), size(0, 30);
        std::vector<Box> boxes;
        for (int i = 0; i < count; ++i) {
            if (i % 97 == 5) {
                boxes.emplace_back(); // no bounds: never found
                continue;
            }
            const double x = at(rng), y = i % 13 == 0 ? 7.0 : at(rng); // some all in a row
            boxes.push_back(box(x, y, x + size(rng), y + (i % 7 == 0 ? 0 : size(rng))));
        }
        const PackedRTree tree(boxes);
        QCOMPARE(tree.empty(), scan(boxes, box(-1e9, -1e9, 1e9, 1e9)).empty());
        for (int q = 0; q < 60; ++q) {
            const double x = at(rng), y = at(rng), w = q % 10 == 0 ? 2000 : size(rng) * 4;
            const Box area = q == 1 ? box(x, y, x, y) : box(x, y, x + w, y + w);
            std::vector<uint32_t> found;
            tree.query(area, boxes, found);
            std::sort(found.begin(), found.end());
            QCOMPARE(found, scan(boxes, area));
        }
    }

    void nodesHoldTheirChildrenAndEveryItemOnce() {
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> at(0, 1000);
        std::vector<Box> boxes;
        for (int i = 0; i < 10'000; ++i) {
            const double x = at(rng), y = at(rng);
            boxes.push_back(box(x, y, x + 1, y + 2));
        }
        const PackedRTree tree(boxes);
        const auto& nodes = tree.nodes();
        std::vector<int> seen(boxes.size(), 0);
        for (const PackedRTree::Node& n : nodes) {
            QVERIFY(n.count >= 1 && n.count <= PackedRTree::fanout);
            for (uint32_t k = n.first; k < n.first + n.count; ++k) {
                const Box& inner = n.level == 0 ? boxes[tree.items()[k]] : nodes[k].box;
                QVERIFY(inner.minX >= n.box.minX && inner.maxX <= n.box.maxX &&
                        inner.minY >= n.box.minY && inner.maxY <= n.box.maxY);
                if (n.level == 0)
                    ++seen[tree.items()[k]];
                else
                    QCOMPARE(nodes[k].level + 1, n.level);
            }
        }
        QVERIFY(std::all_of(seen.begin(), seen.end(), [](int s) { return s == 1; }));
        // Packed: leaves are full but for the last of each slice.
        const auto leaves = std::count_if(nodes.begin(), nodes.end(),
                                          [](const PackedRTree::Node& n) { return n.level == 0; });
        QVERIFY(leaves <= 10'000 / 16 + 110);
    }
};

QTEST_MAIN(TestPackedRTree)
#include "test_packed_rtree.moc"
