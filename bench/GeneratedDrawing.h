#pragma once

// The benchmarks' large drawing: random lines, arcs, polylines, texts and
// small inserts spread over 36 layers, the same for the same seed.

#include "model/Document.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <random>

namespace dv {

inline std::unique_ptr<Document> makeDrawing(int entities, unsigned seed) {
    auto doc = std::make_unique<Document>();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> px(0, 10000), py(0, 6000), size(0.5, 20),
        angle(0, 2 * std::numbers::pi), unit(0, 1);
    for (int i = 0; i < 36; ++i) {
        const int l = doc->layerIndex(i == 0 ? QString("0") : QString("Layer %1").arg(i));
        doc->layers[l].color = Color::fromAci(1 + i * 7 % 250);
    }
    Block model;
    model.name = "*Model_Space";
    doc->blocks.push_back(model);
    // A few small blocks: a door, a bolt, a label.
    for (int b = 0; b < 4; ++b) {
        Block blk;
        blk.name = QString("BLK%1").arg(b);
        for (int k = 0; k < 8; ++k)
            blk.addPolyline({{0, double(k)}, {5, double(k) + 1}}, false);
        Arc a;
        a.radiusX = a.radiusY = 3;
        a.endAngle = std::numbers::pi;
        blk.addArc(a);
        doc->blocks.push_back(blk);
    }
    Block& m = doc->blocks[0];
    const int layers = int(doc->layers.size());
    for (int i = 0; i < entities; ++i) {
        const Vec2 p{px(rng), py(rng)};
        const double s = size(rng), r = unit(rng);
        Shape* shape = nullptr;
        if (r < 0.40) {
            shape = &m.addPolyline({p, {p.x + s * std::cos(s), p.y + s * std::sin(s)}}, false);
        } else if (r < 0.55) {
            Arc a;
            a.center = p;
            a.radiusX = a.radiusY = s / 2;
            a.startAngle = angle(rng);
            a.endAngle = r < 0.48 ? a.startAngle + 2 * std::numbers::pi : a.startAngle + 1.5;
            shape = &m.addArc(a);
        } else if (r < 0.75) {
            std::vector<Vec2> pts;
            for (int k = 0; k < 5; ++k)
                pts.push_back({p.x + k * s / 4, p.y + (k % 2) * s / 3});
            shape = &m.addPolyline(pts, r < 0.65);
        } else if (r < 0.85) {
            Text t;
            t.text = QString("T%1").arg(i % 1000);
            t.position = p;
            t.height = s / 5;
            t.rotation = r < 0.8 ? 0 : std::numbers::pi / 2;
            shape = &m.addText(t);
        } else {
            Insert ins;
            ins.block = 1 + i % 4;
            ins.position = p;
            ins.scaleX = ins.scaleY = s / 10;
            ins.rotation = angle(rng);
            shape = &m.addInsert(ins);
        }
        shape->layer = i % layers;
    }
    Layout l;
    l.name = "Model";
    l.block = 0;
    doc->layouts.push_back(l);
    doc->finish();
    return doc;
}

} // namespace dv
