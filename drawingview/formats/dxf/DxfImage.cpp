// IMAGE entities: a raster file placed by the vectors of one pixel, drawn
// once the OBJECTS section has said which file each one shows; and WIPEOUT,
// placed the same way, which masks what lies below it.

#include "DxfEntities.h"
#include "DxfImageFiles.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace dv::dxf {

namespace {

constexpr size_t kMaxClipVertices = 100000;

Vec2 at(Vec2 origin, Vec2 u, Vec2 v, double i, double j) {
    return {origin.x + i * u.x + j * v.x, origin.y + i * u.y + j * v.y};
}

} // namespace

// The groups IMAGE and WIPEOUT share: a grid of pixels and a clip boundary.
struct EntityReader::Placement {
    Vec2 insertion, u, v, size;
    uint64_t imageDef = 0;
    int display = 1, clipping = 0, clipType = 1;
    std::vector<Vec2> clip;
    bool clipped = false;
    std::vector<Vec2> outline; // in drawing units: the clip or the whole grid

    void read(const std::vector<Item>& items) {
        for (const Item& it : items) {
            switch (it.code) {
            case 10:
                insertion.x = it.num;
                break;
            case 20:
                insertion.y = it.num;
                break;
            case 11:
                u.x = it.num;
                break;
            case 21:
                u.y = it.num;
                break;
            case 12:
                v.x = it.num;
                break;
            case 22:
                v.y = it.num;
                break;
            case 13:
                size.x = it.num;
                break;
            case 23:
                size.y = it.num;
                break;
            case 340:
                imageDef = handleFromText(it.text);
                break;
            case 70:
                display = int(it.num);
                break;
            case 280:
                clipping = int(it.num);
                break;
            case 71:
                clipType = int(it.num);
                break;
            case 14:
                if (clip.size() < kMaxClipVertices)
                    clip.push_back({it.num, 0});
                break;
            case 24:
                if (!clip.empty())
                    clip.back().y = it.num;
                break;
            default:
                break;
            }
        }
    }

    // False when the grid cannot be placed.
    bool build(bool minPixel) {
        const double w = size.x, h = size.y;
        const double area = u.x * v.y - u.y * v.x;
        const bool finite = std::isfinite(insertion.x) && std::isfinite(insertion.y) &&
                            std::isfinite(area) && std::isfinite(w) && std::isfinite(h);
        if (!finite || !(w >= (minPixel ? 1 : 0)) || !(h >= (minPixel ? 1 : 0)) || !(w > 0) ||
            !(h > 0) || area == 0)
            return false;
        // Clip vertices count pixels from the top-left pixel's centre, rows down.
        auto pixel = [&](Vec2 p) { return at(insertion, u, v, p.x + 0.5, h - p.y - 0.5); };
        if (clipping == 1 && clipType == 1 && clip.size() >= 2) {
            const Vec2 a = clip[0], b = clip[1];
            for (Vec2 p : {a, Vec2{b.x, a.y}, b, Vec2{a.x, b.y}})
                outline.push_back(pixel(p));
        } else if (clipping == 1 && clip.size() >= 3) {
            for (Vec2 p : clip)
                outline.push_back(pixel(p));
            if (outline.size() > 3 && std::abs(outline.front().x - outline.back().x) < 1e-12 &&
                std::abs(outline.front().y - outline.back().y) < 1e-12)
                outline.pop_back(); // closed by repeating its first vertex
        }
        clipped = !outline.empty();
        if (!clipped)
            outline = {insertion, at(insertion, u, v, w, 0), at(insertion, u, v, w, h),
                       at(insertion, u, v, 0, h)};
        return true;
    }
};

void EntityReader::readImage(Cursor& c, const Target& t) {
    Common cm;
    collect(c, cm, m_items);
    Placement pl;
    pl.read(m_items);
    uint16_t type;
    const int block = place(cm, t, "IMAGE", type);
    if (block < 0)
        return;
    if (!pl.build(true)) {
        m_ctx.countSkipped("IMAGE without size");
        return;
    }
    const Vec2 insertion = pl.insertion, u = pl.u, v = pl.v;
    const double w = pl.size.x, h = pl.size.y;
    const bool clipped = pl.clipped;
    const std::vector<Vec2>& outline = pl.outline;
    const uint64_t def = pl.imageDef;
    const int display = pl.display;
    Block& b = m_ctx.doc.blocks[size_t(block)];
    PendingImage p{};
    p.block = block;
    p.image = ~0u;
    if (display & 1) {
        Image image;
        if (clipped)
            image.clip = outline;
        p.image = uint32_t(b.images.size());
        style(b.addImage(image), cm, type);
    }
    p.frame = uint32_t(b.shapes.size());
    addPath(block, outline, true, false, cm, type);
    p.imageDef = def;
    p.insertion = insertion;
    p.u = u;
    p.v = v;
    p.columns = w;
    p.rows = h;
    p.layer = m_ctx.layer(cm.layer);
    p.color = cm.color;
    p.type = type;
    m_images.push_back(p);
}

void EntityReader::readWipeout(Cursor& c, const Target& t) {
    Common cm;
    collect(c, cm, m_items);
    Placement pl;
    pl.read(m_items);
    pl.clipping = 1; // a wipeout's boundary is its shape
    uint16_t type;
    const int block = place(cm, t, "WIPEOUT", type);
    if (block < 0 || !pl.build(false))
        return;
    // The mask takes the view's background, whatever that is in a layout.
    Shape& mask = addPath(block, pl.outline, true, true, cm, type);
    mask.color = Color::background();
    mask.flags |= Mask;
    m_wipeoutFrames.push_back({block, uint32_t(m_ctx.doc.blocks[size_t(block)].shapes.size())});
    addPath(block, pl.outline, true, false, cm, type);
}

void EntityReader::finishImages() {
    Document& doc = m_ctx.doc;
    if (!m_ctx.wipeoutFrame)
        for (const auto& [block, shape] : m_wipeoutFrames)
            doc.blocks[size_t(block)].shapes[shape].count = 0;
    m_wipeoutFrames.clear();
    if (m_images.empty())
        return;
    ImageFiles files(doc.fileName);
    std::unordered_map<uint64_t, std::shared_ptr<const QImage>> byDef;
    int missing = 0;
    for (const PendingImage& p : m_images) {
        Block& b = doc.blocks[size_t(p.block)];
        auto def = m_ctx.imageFiles.find(p.imageDef);
        const QString name = def == m_ctx.imageFiles.end() ? QString() : def->second;
        std::shared_ptr<const QImage> image;
        if (p.image != ~0u && !name.isEmpty()) {
            // Looked for once per definition, however many entities show it.
            auto known = byDef.find(p.imageDef);
            if (known == byDef.end())
                known = byDef.emplace(p.imageDef, files.load(name)).first;
            image = known->second;
        }
        if (image) {
            Image& placed = b.images[p.image];
            placed.image = image;
            // The entity's pixel vectors span its stated size; the decoded
            // file may have other dimensions (or have been scaled down).
            const double su = p.columns / image->width(), sv = p.rows / image->height();
            placed.u = {p.u.x * su, p.u.y * su};
            placed.v = {-p.v.x * sv, -p.v.y * sv};
            placed.origin = at(p.insertion, p.u, p.v, 0, p.rows);
            if (!m_ctx.imageFrame)
                b.shapes[p.frame].count = 0;
            continue;
        }
        if (p.image == ~0u)
            continue; // shown as its frame on purpose
        ++missing;
        // Where the picture should be, its file's name, to tell the user what is missing.
        Text label;
        label.text =
            name.isEmpty()
                ? QStringLiteral("(image)")
                : QFileInfo(QString(name).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
        const double width = p.columns * std::hypot(p.u.x, p.u.y);
        const double height = p.rows * std::hypot(p.v.x, p.v.y);
        label.height =
            std::min(height / 8, width / (0.8 * std::max<qsizetype>(1, label.text.size())));
        label.rotation = std::atan2(p.u.y, p.u.x);
        label.position = at(p.insertion, p.u, p.v, p.columns / 2, p.rows / 2);
        label.hAlign = Text::Center;
        label.vAlign = Text::Middle;
        if (!(label.height > 0) || !std::isfinite(label.height))
            continue;
        Shape& s = b.addText(label);
        s.entityType = p.type;
        s.layer = p.layer;
        s.color = p.color;
    }
    if (missing > 0)
        doc.skippedEntities[QStringLiteral("IMAGE file missing")] += missing;
    m_images.clear();
}

} // namespace dv::dxf
