#include "DwgPreR13.h"

#include "DwgPreR13Early.h"
#include "DwgPreR13Entities.h"
#include "DwgPreR13File.h"

#include <numbers>

namespace dv::dwg {

using namespace prer13;

namespace {

constexpr double kDegrees = 180 / std::numbers::pi;

class PreR13Assembler {
public:
    PreR13Assembler(const QByteArray& file, Version version, DecodedDrawing& out,
                    const std::function<void(int)>& progress)
        : m_data(reinterpret_cast<const uint8_t*>(file.constData())),
          m_header(readFileHeader(file, version)), m_tables(readTables(file, m_header)),
          m_text(Release::R2000, m_header.codePage), m_out(out), m_progress(progress) {}

    void run();

private:
    void nameTables();
    void emitHeader(GroupList& g);
    void emitTables(GroupList& g);
    void emitRecords(const Range& section, bool blocks, GroupList& g, RecordDecoder& decoder);
    void runEarly();
    void skip(const std::string& what) { ++m_out.skipped[what]; }
    void reportProgress(size_t at) {
        if (!m_progress || ++m_records % 1024 != 0)
            return;
        m_progress(int((m_done + at) * 100 / std::max<size_t>(1, m_total)));
    }

    const uint8_t* m_data;
    FileHeader m_header;
    Tables m_tables;
    TextConverter m_text;
    DecodedDrawing& m_out;
    const std::function<void(int)>& m_progress;
    Names m_names;
    std::vector<bool> m_usedLayers; // 1.40: its numbered layers in use
    size_t m_records = 0, m_done = 0, m_total = 0;
};

void PreR13Assembler::run() {
    nameTables();
    if (m_header.version == Version::R1_4)
        return runEarly();
    GroupList& g = m_out.groups;
    emitHeader(g);
    emitTables(g);
    RecordDecoder decoder(m_header.version, m_names, m_text);
    auto length = [](const Range& r) { return size_t(r.end - r.start); };
    m_total = length(m_header.entities) + length(m_header.blocks) + length(m_header.extra);
    g.literal(0, "SECTION");
    g.literal(2, "BLOCKS");
    emitRecords(m_header.blocks, true, g, decoder);
    g.literal(0, "ENDSEC");
    g.literal(0, "SECTION");
    g.literal(2, "ENTITIES");
    emitRecords(m_header.entities, false, g, decoder);
    // R11 appends the entities added after a save here.
    emitRecords(m_header.extra, false, g, decoder);
    g.literal(0, "ENDSEC");
    g.literal(0, "EOF");
}

// 1.40 keeps its blocks among the entities; they move to the block section.
void PreR13Assembler::runEarly() {
    GroupList& blocks = m_out.entities;
    GroupList& entities = m_out.objects;
    m_usedLayers.assign(m_names.layers.size(), false);
    m_usedLayers[0] = true;
    bool inBlock = false;
    const Range& s = m_header.entities;
    m_total = s.end - s.start;
    size_t at = s.start;
    for (int i = 0; i < m_header.entityCount && at < s.end; ++i) {
        if (s.end - at < 2)
            throw FormatError("truncated entity record");
        const int stored = int16_t(m_data[at] | m_data[at + 1] << 8);
        const bool begins = stored == 12, ends = stored == 13;
        bool drawn = false;
        const EarlyRecord rec = decodeEarlyRecord(m_data, at, s.end, m_names, m_text,
                                                  inBlock || begins ? blocks : entities, drawn);
        at = rec.end;
        reportProgress(at - s.start);
        if (rec.erased)
            continue;
        if (!drawn)
            skip(typeName(rec.type, m_header.version));
        if (rec.layer >= 0 && size_t(rec.layer) < m_usedLayers.size())
            m_usedLayers[size_t(rec.layer)] = true;
        if (begins) {
            if (inBlock)
                skip("BLOCK inside a block");
            inBlock = true;
        } else if (ends) {
            inBlock = false;
        }
    }
    if (inBlock)
        blocks.literal(0, "ENDBLK");
    GroupList& g = m_out.groups;
    emitHeader(g);
    emitTables(g);
    g.literal(0, "SECTION");
    g.literal(2, "BLOCKS");
    g.append(blocks, 0, blocks.size());
    g.literal(0, "ENDSEC");
    g.literal(0, "SECTION");
    g.literal(2, "ENTITIES");
    g.append(entities, 0, entities.size());
    g.literal(0, "ENDSEC");
    g.literal(0, "EOF");
}

void PreR13Assembler::nameTables() {
    for (const LayerEntry& l : m_tables.layers)
        m_names.layers.push_back(m_text(l.name));
    for (const LineTypeEntry& l : m_tables.lineTypes)
        m_names.lineTypes.push_back(m_text(l.name));
    for (const StyleEntry& s : m_tables.styles)
        m_names.styles.push_back(m_text(s.name));
    for (const std::string& a : m_tables.appIds)
        m_names.appIds.push_back(m_text(a));
    // Anonymous blocks are stored as "*D", "*U"...; they get the number that
    // tells them apart, in table order, as when the drawing is loaded.
    int anonymous = 0;
    for (size_t i = 0; i < m_tables.blocks.size(); ++i) {
        const BlockEntry& b = m_tables.blocks[i];
        std::string name = m_text(b.name);
        if (name.size() <= 2 && !name.empty() && name[0] == '*')
            name += std::to_string(++anonymous);
        m_names.blocks.push_back(std::move(name));
        m_names.blockFlags.push_back(b.flags);
        m_names.blockAt.emplace(b.offset, i);
    }
}

void PreR13Assembler::emitHeader(GroupList& g) {
    const FileHeader& h = m_header;
    auto var = [&](const char* name) { g.literal(9, name); };
    auto point = [&](int code, const Point& p, bool z) {
        g.real(code, p.x);
        g.real(code + 10, p.y);
        if (z)
            g.real(code + 20, p.z);
    };
    g.literal(0, "SECTION");
    g.literal(2, "HEADER");
    var("$ACADVER");
    g.literal(1, "AC1021"); // strings are UTF-8 here, whatever the release
    var("$EXTMIN");
    point(10, h.extMin, true);
    var("$EXTMAX");
    point(10, h.extMax, true);
    var("$LIMMIN");
    point(10, h.limMin, false);
    var("$LIMMAX");
    point(10, h.limMax, false);
    var("$LTSCALE");
    g.real(40, h.ltScale);
    if (h.hasPointVars) {
        var("$PDMODE");
        g.integer(70, h.pdMode);
        var("$PDSIZE");
        g.real(40, h.pdSize);
    }
    if (h.version == Version::R11) {
        var("$TILEMODE");
        g.integer(70, h.tileMode);
    }
    g.literal(0, "ENDSEC");
}

void PreR13Assembler::emitTables(GroupList& g) {
    g.literal(0, "SECTION");
    g.literal(2, "TABLES");
    auto table = [&](const char* name) {
        g.literal(0, "TABLE");
        g.literal(2, name);
    };
    table("LTYPE");
    for (size_t i = 0; i < m_tables.lineTypes.size(); ++i) {
        const LineTypeEntry& l = m_tables.lineTypes[i];
        if (m_names.lineTypes[i].empty())
            continue;
        g.literal(0, "LTYPE");
        g.text(2, m_names.lineTypes[i]);
        g.integer(70, 0);
        g.text(3, m_text(l.description));
        g.integer(72, l.alignment);
        g.integer(73, int(l.dashes.size()));
        g.real(40, l.length);
        for (double d : l.dashes)
            g.real(49, d);
    }
    g.literal(0, "ENDTAB");
    table("LAYER");
    for (size_t i = 0; i < m_tables.layers.size(); ++i) {
        const LayerEntry& l = m_tables.layers[i];
        if (m_names.layers[i].empty() || (!m_usedLayers.empty() && !m_usedLayers[i]))
            continue;
        g.literal(0, "LAYER");
        g.text(2, m_names.layers[i]);
        g.integer(70, l.flags & 0x07);
        // A layer that is off has its colour negated.
        g.integer(62, l.color == 0 || l.color > 255 ? 7 : l.color);
        const size_t lt = size_t(l.lineType);
        if (l.lineType >= 0 && lt < m_names.lineTypes.size() && !m_names.lineTypes[lt].empty())
            g.text(6, m_names.lineTypes[lt]);
        else
            g.literal(6, "CONTINUOUS");
    }
    g.literal(0, "ENDTAB");
    table("STYLE");
    for (size_t i = 0; i < m_tables.styles.size(); ++i) {
        const StyleEntry& s = m_tables.styles[i];
        if (m_names.styles[i].empty())
            continue;
        g.literal(0, "STYLE");
        g.text(2, m_names.styles[i]);
        g.integer(70, s.flags & 0x05);
        g.real(40, s.height);
        g.real(41, s.width);
        g.real(50, s.oblique * kDegrees);
        g.integer(71, s.generation);
        g.real(42, s.lastHeight);
        g.text(3, m_text(s.font));
        g.text(4, m_text(s.bigFont));
    }
    g.literal(0, "ENDTAB");
    g.literal(0, "ENDSEC");
}

void PreR13Assembler::emitRecords(const Range& section, bool blocks, GroupList& g,
                                  RecordDecoder& decoder) {
    // In the block section: outside a block, inside one, or inside one whose
    // BLOCK record was damaged, whose entities are then left out with it.
    enum class State { Outside, Inside, Dropping } state = State::Outside;
    size_t at = section.start;
    while (at < section.end) {
        const Record rec = decoder.head(m_data, at, section.end);
        at += rec.size;
        reportProgress(at - section.start);
        // Erased entities stay in the file; jumps only link runs of records.
        if (rec.erased || (m_header.version == Version::R11 && rec.type == 18))
            continue;
        const bool begins = rec.type == 12, ends = rec.type == 13;
        const std::string name = typeName(rec.type, m_header.version);
        if (!blocks && (begins || ends)) {
            skip(name + " among the drawing's entities");
            continue;
        }
        if (blocks && begins && state == State::Inside)
            g.literal(0, "ENDBLK");
        if (blocks && !begins && state != State::Inside) {
            skip(state == State::Dropping ? name + " of a damaged block"
                                          : name + " outside a block");
            if (ends)
                state = State::Outside;
            continue;
        }
        const size_t mark = g.size();
        try {
            if (!decoder.decode(m_data, rec, uint32_t(rec.start - section.start), g)) {
                skip(name);
                continue;
            }
        } catch (const FormatError&) {
            g.truncate(mark);
            skip(name + " (damaged)");
            if (begins)
                state = State::Dropping;
            continue;
        }
        if (begins)
            state = State::Inside;
        else if (ends)
            state = State::Outside;
    }
    if (state == State::Inside)
        g.literal(0, "ENDBLK");
    m_done += size_t(section.end - section.start);
}

} // namespace

bool isPreR13(const QByteArray& tag) {
    return versionOf(tag).has_value();
}

void decodePreR13(const QByteArray& file, DecodedDrawing& out,
                  const std::function<void(int)>& progress) {
    const std::optional<Version> version = versionOf(file.left(6));
    if (!version)
        throw FormatError("not a DWG drawing of AutoCAD 1.40 to R12");
    PreR13Assembler a(file, *version, out, progress);
    a.run();
}

} // namespace dv::dwg
