#pragma once

// What the section parsers share while one file is read: the document being
// filled, the text decoder and the name tables (layers, blocks, styles,
// entity types) that turn names in the file into indices quickly.

#include "DxfText.h"
#include "model/Document.h"

#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dv::dxf {

class DxfContext {
public:
    explicit DxfContext(Document& doc);

    Document& doc;
    TextDecoder text;
    // Hatch pattern segments left for the rest of the file, so that many
    // small hatch entities cannot together grow the document without bound.
    size_t patternBudget = 5000000;

    // Case-insensitive; layer "0" for an empty name. Adds unknown layers.
    int layer(std::string_view rawName);
    // Case-insensitive; adds an empty block when `create`, else -1 if absent.
    int block(std::string_view rawName, bool create);
    int modelSpaceBlock() const { return m_modelBlock; }
    // *Paper_Space, the block of the active paper layout; made when first needed.
    int paperSpaceBlock();
    int existingPaperSpaceBlock() const;

    // Case-insensitive; ByLayer, ByBlock and Continuous give LineStyle's
    // codes, other names an index into Document::lineTypes (added unknown,
    // so that a table read later still fills them).
    int32_t lineType(std::string_view rawName);
    void setLineType(std::string_view rawName, std::vector<double> dashes,
                     std::vector<LineTypeText> texts = {});
    // The index of (type, scale, alpha) in Document::lineStyles, added when new.
    uint16_t lineStyle(int32_t lineType, double scale, int16_t alpha = Alpha::ByLayer);

    uint16_t entityType(std::string_view name);
    void countEntity(int block, uint16_t type);
    void countSkipped(std::string_view name);

    // Inserts are tied to their blocks by name once every block is known.
    void addInsertReference(int block, uint32_t insert, std::string_view blockName);

    // Block clipping: inserts that name an extension dictionary, and the
    // objects that lead from it to a spatial filter (DxfXClip.cpp).
    struct PendingClip {
        int block;
        uint32_t insert;
        uint64_t dictionary;
    };
    std::vector<PendingClip> pendingClips;
    std::unordered_map<uint64_t, std::vector<std::pair<std::string, uint64_t>>> dictionaries;
    struct SpatialFilter {
        std::vector<Vec2> points;
        bool enabled = true;
        uint64_t dictionary = 0; // its own extension dictionary
    };
    std::unordered_map<uint64_t, SpatialFilter> spatialFilters;
    std::unordered_map<uint64_t, bool> invertedRecords; // XRECORD handle -> says inverted

    struct Style {
        QString fontFamily; // already resolved to an installed family
        double fixedHeight = 0;
        double widthFactor = 1;
        double oblique = 0; // radians, the style's own plus an italic font's lean
        bool backward = false;
        bool upsideDown = false;
        bool bigFont = false; // East Asian ideographs come from a big font
    };
    void setStyle(std::string_view name, const Style& s);
    const Style* style(std::string_view name) const;

    // Header settings for dimensions drawn without their block; negative
    // where the header is silent.
    struct DimensionStyle {
        double arrowSize = -1;  // $DIMASZ
        double textHeight = -1; // $DIMTXT
        double scale = 1;       // $DIMSCALE
        int decimals = -1;      // $DIMDEC
        bool metric = false;    // $MEASUREMENT
    };
    DimensionStyle dimensions;

    // Block record handle -> block name, for entities that point at blocks
    // by handle (multileader block content).
    std::unordered_map<uint64_t, std::string> blockRecordNames;
    // LAYER table entries by handle, for the viewports that name them so.
    void setLayerHandle(uint64_t handle, int layer) { m_layerHandles[handle] = layer; }
    int layerByHandle(uint64_t handle) const {
        auto it = m_layerHandles.find(handle);
        return it == m_layerHandles.end() ? -1 : it->second;
    }
    // A layer's index, or -1 when the drawing has no such layer.
    int existingLayer(std::string_view rawName);

    // IMAGEDEF objects by handle: the file as the drawing names it.
    std::unordered_map<uint64_t, QString> imageFiles;

    // MLINESTYLE objects by handle, and their handles by upper-case name.
    struct MLineStyle {
        int flags = 0; // 1 filled; 16/64 start line/arc cap; 256/1024 end line/arc cap
        Color fill = Color::byLayer();
        std::vector<Color> elements; // in the order the multilines list their elements
    };
    std::unordered_map<uint64_t, MLineStyle> mlineStyles;
    std::map<std::string, uint64_t> mlineStyleNames;
    // A name as tables compare them: trimmed, upper case.
    std::string nameKey(std::string_view raw) { return key(raw); }
    // Whether images and wipeouts show their frames ($IMAGEFRAME, $WIPEOUTFRAME).
    bool imageFrame = true;
    bool wipeoutFrame = true;

    // Resolves insert references and writes the entity counts to the blocks.
    void complete();

private:
    const std::string& key(std::string_view raw); // upper-cased, trimmed

    std::string m_key;
    std::unordered_map<std::string, int> m_layers;
    std::unordered_map<std::string, int> m_blocks;
    std::unordered_map<std::string, Style> m_styles;
    std::unordered_map<std::string, int32_t> m_lineTypes;
    std::string m_lastLineTypeRaw;
    int32_t m_lastLineType = LineStyle::ByLayer;
    struct StyleKey {
        int32_t lineType;
        double scale;
        int16_t alpha;
        bool operator==(const StyleKey&) const = default;
    };
    struct StyleKeyHash {
        size_t operator()(const StyleKey& k) const {
            return (std::hash<double>()(k.scale) * 31 + std::hash<int32_t>()(k.lineType)) * 31 +
                   std::hash<int16_t>()(k.alpha);
        }
    };
    std::unordered_map<StyleKey, uint16_t, StyleKeyHash> m_lineStyles;
    std::unordered_map<uint64_t, int> m_layerHandles;
    std::string m_lastLayerRaw;
    int m_lastLayer = 0;
    int m_modelBlock = 0;

    std::vector<std::pair<std::string, uint16_t>> m_types;
    std::vector<std::vector<int>> m_counts; // [block][type]
    std::unordered_map<std::string, int> m_skipped;

    struct InsertRef {
        int32_t block;
        uint32_t insert;
        int32_t name;
    };
    std::vector<InsertRef> m_insertRefs;
    std::vector<std::string> m_refNames;
    std::unordered_map<std::string, int32_t> m_refNameIds;
};

} // namespace dv::dxf
