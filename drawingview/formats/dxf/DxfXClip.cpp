#include "DxfXClip.h"

#include <algorithm>
#include <cmath>

namespace dv::dxf {

namespace {

// More boundary points than any drawing clips with; each one took bytes.
constexpr size_t kMaxClipPoints = 100000;

bool sameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper((unsigned char)x) == std::toupper((unsigned char)y);
           });
}

uint64_t entry(const DxfContext& ctx, uint64_t dictionary, std::string_view name) {
    const auto it = ctx.dictionaries.find(dictionary);
    if (it == ctx.dictionaries.end())
        return 0;
    for (const auto& [key, handle] : it->second)
        if (sameNoCase(key, name))
            return handle;
    return 0;
}

} // namespace

void readDictionary(Cursor& c, DxfContext& ctx) {
    uint64_t handle = 0;
    std::vector<std::pair<std::string, uint64_t>> entries;
    std::string key;
    bool inXdict = false;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (g.code == 102)
            inXdict = trimmed(g.value).starts_with("{");
        else if (g.code == 5)
            handle = toHandle(g);
        else if (g.code == 3)
            key = std::string(trimmed(g.value));
        else if ((g.code == 350 || g.code == 360) && !inXdict && !key.empty()) {
            entries.emplace_back(std::move(key), toHandle(g));
            key.clear();
        }
    }
    if (handle != 0 && !entries.empty())
        ctx.dictionaries[handle] = std::move(entries);
}

void readSpatialFilter(Cursor& c, DxfContext& ctx) {
    uint64_t handle = 0;
    DxfContext::SpatialFilter f;
    bool xdict = false;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        switch (g.code) {
        case 5:
            handle = toHandle(g);
            break;
        case 102:
            xdict = trimmed(g.value) == "{ACAD_XDICTIONARY";
            break;
        case 360:
            if (xdict)
                f.dictionary = toHandle(g);
            break;
        case 10:
            if (f.points.size() < kMaxClipPoints)
                f.points.push_back({toDouble(g), 0});
            break;
        case 20:
            if (!f.points.empty())
                f.points.back().y = toDouble(g);
            break;
        case 71:
            f.enabled = toInt(g) != 0;
            break;
        default:
            break;
        }
    }
    if (handle != 0)
        ctx.spatialFilters[handle] = std::move(f);
}

void readClipRecord(Cursor& c, DxfContext& ctx) {
    uint64_t handle = 0;
    bool flagNext = false, inverted = false, found = false;
    while (c.advance() && c.group().code != 0) {
        const Group& g = c.group();
        if (g.code == 5) {
            handle = toHandle(g);
        } else if (g.code >= 1 && g.code <= 9 && g.code != 5) {
            // The newer files' round-trip record names the flag, then gives it.
            flagNext = trimmed(g.value).find("INVERTEDCLIP") != std::string_view::npos ||
                       trimmed(g.value).find("SPATIAL_FILTER_INVERTED") != std::string_view::npos;
            found = found || flagNext;
        } else if (flagNext && (g.code == 290 || g.code == 70 || g.code == 280)) {
            inverted = toInt(g) != 0;
            flagNext = false;
        }
    }
    if (handle != 0 && found)
        ctx.invertedRecords[handle] = inverted;
}

void applyClips(DxfContext& ctx) {
    for (const auto& p : ctx.pendingClips) {
        const uint64_t filters = entry(ctx, p.dictionary, "ACAD_FILTER");
        const uint64_t spatial = filters ? entry(ctx, filters, "SPATIAL") : 0;
        const auto f = ctx.spatialFilters.find(spatial);
        if (f == ctx.spatialFilters.end() || !f->second.enabled)
            continue;
        if (p.block < 0 || size_t(p.block) >= ctx.doc.blocks.size())
            continue;
        auto& inserts = ctx.doc.blocks[size_t(p.block)].inserts;
        if (p.insert >= inserts.size())
            continue;
        std::vector<Vec2> pts = f->second.points;
        if (!std::all_of(pts.begin(), pts.end(),
                         [](Vec2 v) { return std::isfinite(v.x) && std::isfinite(v.y); }))
            continue;
        if (pts.size() == 2) // opposite corners of a rectangle
            pts = {pts[0], {pts[1].x, pts[0].y}, pts[1], {pts[0].x, pts[1].y}};
        if (pts.size() < 3)
            continue;
        Insert& ins = inserts[p.insert];
        ins.clip = std::move(pts);
        const uint64_t record = entry(ctx, f->second.dictionary, "ACAD_XREC_ROUNDTRIP");
        const auto inv = ctx.invertedRecords.find(record);
        ins.clipInverted = inv != ctx.invertedRecords.end() && inv->second;
    }
    ctx.pendingClips.clear();
}

} // namespace dv::dxf
