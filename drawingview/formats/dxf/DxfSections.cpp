#include "DxfSections.h"
#include "DxfXClip.h"

#include "DxfLineTypes.h"
#include "formats/FontSubstitution.h"
#include "model/Parallel.h"
#include "model/VectorState.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace dv::dxf {

namespace {

// Header variables kept in Document::header.
bool isKeptVariable(std::string_view name) {
    static const std::string_view kept[] = {
        "$ACADVER",     "$EXTMIN",    "$EXTMAX",    "$DWGCODEPAGE", "$INSUNITS",
        "$MEASUREMENT", "$TILEMODE",  "$LIMMIN",    "$LIMMAX",      "$LTSCALE",
        "$CELTSCALE",   "$PSLTSCALE", "$LWDISPLAY", "$LWDEFAULT",   "$CELWEIGHT"};
    return std::find(std::begin(kept), std::end(kept), name) != std::end(kept);
}

double positiveOr(double v, double fallback) {
    return v > 0 && std::isfinite(v) ? v : fallback;
}

} // namespace

DxfParser::DxfParser(DxfContext& ctx, Cursor& cursor, Progress progress)
    : m_ctx(ctx), m_c(cursor), m_entities(ctx), m_progress(std::move(progress)) {}

// A missing ENDSEC shows as the next SECTION.
bool DxfParser::atSectionEnd() const {
    return m_c.atEnd() || m_c.atZero("ENDSEC") || m_c.atZero("EOF") || m_c.atZero("SECTION");
}

void DxfParser::reportProgress() {
    if (m_c.position() < m_nextReport || !m_progress)
        return;
    const size_t size = std::max<size_t>(1, m_c.size());
    const int percent = int(std::min<size_t>(100, m_c.position() * 100 / size));
    m_nextReport = m_c.position() + std::max<size_t>(1, size / 100);
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        m_progress(percent);
    }
}

void DxfParser::parse() {
    clearUpperVectorState();
    m_c.advance();
    while (!m_c.atEnd()) {
        reportProgress();
        if (m_c.atZero("EOF"))
            break;
        if (!m_c.atZero("SECTION")) {
            // Stray groups between sections: step over them.
            m_c.skipRecord();
            continue;
        }
        m_c.advance();
        if (m_c.group().code != 2) {
            continue;
        }
        const std::string_view name = trimmed(m_c.group().value);
        m_c.advance();
        if (name == "HEADER")
            parseHeader();
        else if (name == "TABLES")
            parseTables();
        else if (name == "BLOCKS")
            parseBlocks();
        else if (name == "ENTITIES")
            parseEntities();
        else if (name == "OBJECTS")
            parseObjects();
        else
            while (!atSectionEnd())
                m_c.advance();
        if (m_c.atZero("ENDSEC"))
            m_c.advance();
    }
    placeLineTypeShapes(m_ctx.doc, m_pendingShapes, m_styleFiles);
    buildLayouts();
    applyClips(m_ctx);
    m_ctx.complete();
    m_entities.finishViewports();
    m_entities.finishImages();
    m_entities.finishMLines();
    m_entities.finishInfiniteLines();
    if (m_progress && m_lastPercent < 100)
        m_progress(100);
}

void DxfParser::parseHeader() {
    std::string variable;
    QString value;
    auto store = [&] {
        if (!variable.empty() && isKeptVariable(variable))
            m_ctx.doc.header[QString::fromStdString(variable)] = value;
        variable.clear();
        value.clear();
    };
    for (; !m_c.atEnd() && m_c.group().code != 0; m_c.advance()) {
        const Group& g = m_c.group();
        if (g.code == 9) {
            store();
            variable.assign(trimmed(g.value));
            continue;
        }
        if (variable.empty())
            continue;
        const std::string number = g.isNumber ? numberText(g) : std::string();
        const std::string_view v = g.isNumber ? std::string_view(number) : trimmed(g.value);
        if (!value.isEmpty())
            value += u',';
        value += QString::fromLatin1(v.data(), qsizetype(v.size()));
        if (variable == "$ACADVER")
            m_acadVersion.assign(v);
        else if (variable == "$DWGCODEPAGE")
            m_codePage.assign(v);
        else if (variable == "$TILEMODE")
            m_paperActive = toInt(g) == 0;
        else if (variable == "$PDMODE")
            m_ctx.doc.pointMode = toInt(g);
        else if (variable == "$PDSIZE" && std::isfinite(toDouble(g)))
            m_ctx.doc.pointSize = toDouble(g);
        else if (variable == "$LTSCALE")
            m_ctx.doc.lineTypeScale = positiveOr(toDouble(g), 1.0);
        else if (variable == "$PSLTSCALE")
            m_ctx.doc.paperLineTypeScale = toInt(g) != 0;
        else if (variable == "$LWDISPLAY")
            m_ctx.doc.showLineWeights = toInt(g) != 0;
        else if (variable == "$LWDEFAULT")
            m_ctx.doc.defaultLineWeight = std::max<int16_t>(0, lineWeightCode(toInt(g), 25));
        // $CELTSCALE is the scale the CAD program gives entities it creates
        // next; entities in the file carry their own (48), so it is only kept.
        else if (variable == "$DIMASZ")
            m_ctx.dimensions.arrowSize = toDouble(g);
        else if (variable == "$DIMTXT")
            m_ctx.dimensions.textHeight = toDouble(g);
        else if (variable == "$DIMSCALE")
            m_ctx.dimensions.scale = toDouble(g);
        else if (variable == "$DIMDEC")
            m_ctx.dimensions.decimals = toInt(g);
        else if (variable == "$MEASUREMENT")
            m_ctx.dimensions.metric = toInt(g) == 1;
    }
    store();
    m_ctx.text.configure(m_acadVersion, m_codePage);
}

void DxfParser::parseTables() {
    while (!atSectionEnd()) {
        if (m_c.atZero("LAYER"))
            parseLayer();
        else if (m_c.atZero("LTYPE"))
            parseLineType();
        else if (m_c.atZero("STYLE"))
            parseStyle();
        else if (m_c.atZero("BLOCK_RECORD"))
            parseBlockRecord();
        else
            m_c.skipRecord(); // TABLE, ENDTAB and entries we do not need
    }
}

void DxfParser::parseLineType() {
    LineTypeRecord r = readLineType(m_c);
    if (trimmed(r.name).empty())
        return;
    std::vector<LineTypeText> texts;
    for (const LineTypeRecord::Text& t : r.texts) {
        const QString value = m_ctx.text.decodeText(t.text);
        if (!value.trimmed().isEmpty() && t.size > 0)
            texts.push_back({t.element, value, t.size, t.rotation, t.absolute, t.dx, t.dy});
    }
    m_ctx.setLineType(r.name, std::move(r.dashes), std::move(texts));
    if (!r.shapes.empty())
        m_pendingShapes.push_back({m_ctx.lineType(r.name), std::move(r.shapes)});
}

void DxfParser::parseLayer() {
    std::string_view name, lineType;
    int aci = 7, flags = 0;
    int16_t lineWeight = LineWeight::Default;
    int16_t alpha = Alpha::Opaque;
    int64_t rgb = -1;
    uint64_t handle = 0;
    bool transparencyData = false; // inside the "AcCmTransparency" extended data
    while (m_c.advance() && m_c.group().code != 0) {
        const Group& g = m_c.group();
        switch (g.code) {
        case 2:
            name = g.value;
            break;
        case 1001:
            transparencyData = trimmed(g.value) == "AcCmTransparency";
            break;
        case 1071:
            if (transparencyData)
                alpha = alphaCode(toInt(g), Alpha::Opaque);
            break;
        case 5:
            handle = toHandle(g);
            break;
        case 62:
            aci = toInt(g);
            break;
        case 420:
            rgb = toInt(g);
            break;
        case 70:
            flags = toInt(g);
            break;
        case 6:
            lineType = g.value;
            break;
        case 370:
            lineWeight = lineWeightCode(toInt(g), LineWeight::Default);
            break;
        default:
            break;
        }
    }
    if (trimmed(name).empty())
        return;
    const int index = m_ctx.layer(name);
    if (handle != 0)
        m_ctx.setLayerHandle(handle, index);
    // A layer cannot defer to itself or a block: those mean the plain line.
    const int32_t type = m_ctx.lineType(lineType);
    Layer& l = m_ctx.doc.layers[size_t(index)];
    l.lineType = type >= 0 ? type : LineStyle::Continuous;
    l.lineWeight = lineWeight >= 0 ? lineWeight : LineWeight::Default;
    l.alpha = alpha >= 0 ? alpha : Alpha::Opaque;
    l.on = aci >= 0;
    l.frozen = (flags & 1) != 0;
    const int aciIndex = std::abs(aci);
    if (rgb >= 0)
        l.color = Color::fromRgb(uint32_t(rgb));
    else if (aciIndex >= 1 && aciIndex <= 255 && aciIndex != 7)
        l.color = Color::fromRgb(aciToRgb(aciIndex));
    else
        l.color = Color::foreground();
}

void DxfParser::parseStyle() {
    std::string_view name, file, bigFont, family;
    uint64_t handle = 0;
    double fixedHeight = 0, widthFactor = 1, oblique = 0;
    int generation = 0;
    bool inAcadData = false;
    while (m_c.advance() && m_c.group().code != 0) {
        const Group& g = m_c.group();
        switch (g.code) {
        case 2:
            name = g.value;
            break;
        case 5:
            handle = toHandle(g);
            break;
        case 3:
            file = trimmed(g.value);
            break;
        case 4:
            bigFont = trimmed(g.value);
            break;
        case 40:
            fixedHeight = toDouble(g);
            break;
        case 41:
            widthFactor = toDouble(g);
            break;
        case 50:
            oblique = toDouble(g);
            break;
        case 71:
            generation = toInt(g);
            break;
        case 1001:
            inAcadData = trimmed(g.value) == "ACAD";
            break;
        case 1000: // the TrueType family in the program's extended data
            if (inAcadData && family.empty())
                family = trimmed(g.value);
            break;
        default:
            break;
        }
    }
    // Shape files have STYLE records too, most without a name.
    if (handle != 0)
        m_styleFiles[handle] = QString::fromLatin1(file.data(), qsizetype(file.size()));
    if (trimmed(name).empty())
        return;
    DxfContext::Style s;
    const FontSubstitute font =
        substituteFont(family.empty() ? QString::fromLatin1(file.data(), qsizetype(file.size()))
                                      : m_ctx.text.decodeName(family));
    s.fontFamily = font.family;
    s.fixedHeight = fixedHeight;
    s.widthFactor = widthFactor > 0 && widthFactor < 100 ? widthFactor : 1;
    s.oblique =
        std::clamp(std::isfinite(oblique) ? oblique : 0.0, -85.0, 85.0) * std::numbers::pi / 180;
    if (s.oblique == 0)
        s.oblique = font.slant;
    s.backward = generation & 2;
    s.upsideDown = generation & 4;
    s.bigFont = !bigFont.empty();
    m_ctx.setStyle(name, s);
}

void DxfParser::parseBlockRecord() {
    uint64_t handle = 0;
    BlockRecord r;
    while (m_c.advance() && m_c.group().code != 0) {
        const Group& g = m_c.group();
        switch (g.code) {
        case 5:
            handle = toHandle(g);
            break;
        case 2:
            r.name.assign(trimmed(g.value));
            break;
        case 340:
            r.layout = toHandle(g);
            break;
        default:
            break;
        }
    }
    if (handle != 0 && !r.name.empty()) {
        m_ctx.blockRecordNames[handle] = r.name;
        m_blockRecords[handle] = std::move(r);
    }
}

void DxfParser::parseBlocks() {
    while (!atSectionEnd()) {
        if (!m_c.atZero("BLOCK")) {
            m_c.skipRecord(); // ENDBLK and anything stray
            continue;
        }
        std::string_view name;
        Vec2 base;
        while (m_c.advance() && m_c.group().code != 0) {
            const Group& g = m_c.group();
            switch (g.code) {
            case 2:
                name = g.value;
                break;
            case 10:
                base.x = toDouble(g);
                break;
            case 20:
                base.y = toDouble(g);
                break;
            default:
                break;
            }
        }
        if (trimmed(name).empty()) {
            // A nameless block cannot be inserted: read past its entities.
            readEntities({-1, false}, "ENDBLK");
            continue;
        }
        const int block = m_ctx.block(name, true);
        m_ctx.doc.blocks[size_t(block)].basePoint = base;
        readEntities({block, false}, "ENDBLK");
        if (m_c.atZero("ENDBLK"))
            m_c.skipRecord();
    }
}

void DxfParser::parseEntities() {
    // Room for what the rest of the file can hold, so that large drawings do
    // not copy their arrays while they grow. Capacity left unused is never
    // touched, so it costs address space, not memory. Decoded groups count
    // as the 14 bytes or so that each takes in an ASCII file.
    const size_t remaining = (m_c.size() - m_c.position()) * (m_c.countsGroups() ? 14 : 1);
    if (remaining > (size_t(1) << 20)) {
        Block& model = m_ctx.doc.blocks[size_t(m_ctx.modelSpaceBlock())];
        // Binary files spend fewer bytes on each number.
        const bool binary = m_c.isBinary() && !m_c.countsGroups();
        model.shapes.reserve(model.shapes.size() + remaining / (binary ? 40 : 64));
        model.points.reserve(model.points.size() + remaining / (binary ? 8 : 12));
    }
    std::optional<PageWarmer> warmer;
    if (remaining > (size_t(4) << 20) && workerCount() > 1)
        warmer.emplace();
    m_warmer = warmer ? &*warmer : nullptr;
    readEntities({m_ctx.modelSpaceBlock(), true}, "ENDSEC");
    m_warmer = nullptr;
}

void DxfParser::warmModelSpace() {
    const Block& model = m_ctx.doc.blocks[size_t(m_ctx.modelSpaceBlock())];
    m_warmer->reached(0, model.points.data(), model.points.size() * sizeof(Vec2),
                      model.points.capacity() * sizeof(Vec2));
    m_warmer->reached(1, model.shapes.data(), model.shapes.size() * sizeof(Shape),
                      model.shapes.capacity() * sizeof(Shape));
}

void DxfParser::readEntities(const Target& target, std::string_view stop) {
    while (!m_c.atEnd()) {
        if (m_c.group().code != 0) {
            m_c.skipRecord(); // groups out of place, with no entity open
            continue;
        }
        // A missing ENDBLK shows as the next BLOCK.
        if (atSectionEnd() || m_c.atZero(stop) || (stop == "ENDBLK" && m_c.atZero("BLOCK")))
            return;
        reportProgress();
        if (m_warmer && (++m_sinceWarmed & 1023) == 0)
            warmModelSpace();
        if (target.block < 0)
            m_c.skipRecord();
        else
            m_entities.read(m_c, target);
    }
}

void DxfParser::parseObjects() {
    while (!atSectionEnd()) {
        reportProgress();
        if (m_c.atZero("LAYOUT"))
            parseLayout();
        else if (m_c.atZero("IMAGEDEF"))
            parseImageDef();
        else if (m_c.atZero("MLINESTYLE"))
            parseMLineStyle();
        else if (m_c.atZero("RASTERVARIABLES"))
            m_ctx.imageFrame = readFrameSetting();
        else if (m_c.atZero("WIPEOUTVARIABLES"))
            m_ctx.wipeoutFrame = readFrameSetting();
        else if (m_c.atZero("DICTIONARY"))
            readDictionary(m_c, m_ctx);
        else if (m_c.atZero("SPATIAL_FILTER"))
            readSpatialFilter(m_c, m_ctx);
        else if (m_c.atZero("XRECORD"))
            readClipRecord(m_c, m_ctx);
        else
            m_c.skipRecord();
    }
}

void DxfParser::parseImageDef() {
    uint64_t handle = 0;
    std::string_view file;
    while (m_c.advance() && m_c.group().code != 0) {
        const Group& g = m_c.group();
        if (g.code == 5)
            handle = toHandle(g);
        else if (g.code == 1)
            file = trimmed(g.value);
    }
    if (handle != 0 && !file.empty())
        m_ctx.imageFiles[handle] = m_ctx.text.decodeName(file);
}

void DxfParser::parseMLineStyle() {
    uint64_t handle = 0;
    std::string name;
    DxfContext::MLineStyle style;
    bool elements = false; // past the element count: colours are the elements'
    while (m_c.advance() && m_c.group().code != 0) {
        const Group& g = m_c.group();
        switch (g.code) {
        case 5:
            handle = toHandle(g);
            break;
        case 2:
            name = m_ctx.nameKey(g.value);
            break;
        case 70:
            style.flags = toInt(g);
            break;
        case 71:
            elements = true;
            break;
        case 49:
            if (elements && style.elements.size() < 16)
                style.elements.push_back(Color::byLayer());
            break;
        case 62:
        case 420: {
            const Color c = g.code == 62 ? Color::fromAci(toInt(g))
                                         : Color::fromRgb(uint32_t(toInt(g)) & 0xFFFFFF);
            if (!elements)
                style.fill = c;
            else if (!style.elements.empty())
                style.elements.back() = c;
            break;
        }
        default:
            break;
        }
    }
    if (handle == 0)
        return;
    if (!name.empty())
        m_ctx.mlineStyleNames[name] = handle;
    m_ctx.mlineStyles[handle] = std::move(style);
}

bool DxfParser::readFrameSetting() {
    bool frame = true;
    while (m_c.advance() && m_c.group().code != 0)
        if (m_c.group().code == 70)
            frame = toInt(m_c.group()) != 0;
    return frame;
}

void DxfParser::parseLayout() {
    LayoutObject l;
    bool inLayout = false; // the AcDbLayout part, after the plot settings
    uint64_t owner330 = 0;
    while (m_c.advance() && m_c.group().code != 0) {
        const Group& g = m_c.group();
        switch (g.code) {
        case 5:
            l.handle = toHandle(g);
            break;
        case 100:
            inLayout = trimmed(g.value) == "AcDbLayout";
            break;
        case 1:
            if (inLayout)
                l.name = m_ctx.text.decodeName(trimmed(g.value));
            break;
        case 71:
            if (inLayout)
                l.tabOrder = toInt(g);
            break;
        case 330:
            if (inLayout)
                owner330 = toHandle(g);
            break;
        case 340:
            if (l.blockRecord == 0)
                l.blockRecord = toHandle(g);
            break;
        default:
            break;
        }
    }
    // AutoCAD names the layout's block record with 330 inside AcDbLayout;
    // some writers use 340.
    if (owner330 != 0 && m_blockRecords.count(owner330))
        l.blockRecord = owner330;
    if (!l.name.isEmpty())
        m_layouts.push_back(l);
}

void DxfParser::buildLayouts() {
    Document& doc = m_ctx.doc;
    const int model = m_ctx.modelSpaceBlock();
    std::vector<Layout> layouts;
    auto hasBlock = [&](int b) {
        return std::any_of(layouts.begin(), layouts.end(),
                           [b](const Layout& l) { return l.block == b; });
    };
    for (const LayoutObject& lo : m_layouts) {
        const BlockRecord* record = nullptr;
        if (auto it = m_blockRecords.find(lo.blockRecord); it != m_blockRecords.end())
            record = &it->second;
        for (auto it = m_blockRecords.begin(); !record && it != m_blockRecords.end(); ++it)
            if (lo.handle != 0 && it->second.layout == lo.handle)
                record = &it->second;
        int block = -1;
        if (record)
            block = m_ctx.block(record->name, true);
        else if (lo.name.compare(QLatin1String("Model"), Qt::CaseInsensitive) == 0)
            block = model;
        if (block < 0 || hasBlock(block))
            continue;
        Layout l;
        l.name = lo.name;
        l.tabOrder = lo.tabOrder;
        l.block = block;
        l.paperSpace = block != model;
        layouts.push_back(l);
    }
    if (!hasBlock(model)) {
        Layout l;
        l.name = QStringLiteral("Model");
        l.block = model;
        layouts.insert(layouts.begin(), l);
    }
    const int paper = m_ctx.existingPaperSpaceBlock();
    if (m_layouts.empty() && paper >= 0 && !doc.blocks[size_t(paper)].shapes.empty()) {
        Layout l;
        l.name = QStringLiteral("Layout1");
        l.tabOrder = 1;
        l.block = paper;
        l.paperSpace = true;
        layouts.push_back(l);
    }
    std::stable_sort(layouts.begin(), layouts.end(), [](const Layout& a, const Layout& b) {
        if (a.paperSpace != b.paperSpace)
            return !a.paperSpace;
        return a.tabOrder < b.tabOrder;
    });
    doc.layouts = std::move(layouts);
    doc.activeLayout = 0;
    if (m_paperActive && paper >= 0)
        for (size_t i = 0; i < doc.layouts.size(); ++i)
            if (doc.layouts[i].block == paper)
                doc.activeLayout = int(i);
}

} // namespace dv::dxf
