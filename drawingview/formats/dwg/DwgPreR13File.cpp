#include "DwgPreR13File.h"

#include "DwgByteReader.h"

#include <cstring>

namespace dv::dwg::prer13 {

namespace {

// Where the header variables read here lie; later releases only add.
constexpr size_t kTablesAt = 0x2C, kExtMin = 0x78, kExtMax = 0x90, kLimMin = 0xA8, kLimMax = 0xB8,
                 kLtScale = 0x132, kPdMode = 0x35D, kPdSize = 0x35F, kCodePage = 0x3F9,
                 kAppIds = 0x512, kTileMode = 0x631;

Point point(ByteReader& r, size_t at, bool z) {
    r.seek(at);
    Point p;
    p.x = r.f64();
    p.y = r.f64();
    if (z)
        p.z = r.f64();
    return p;
}

// A fixed-size field of text, up to its first NUL.
std::string fixedText(ByteReader& r, size_t n) {
    const auto* p = reinterpret_cast<const char*>(r.bytes(n));
    return std::string(p, strnlen(p, n));
}

struct TableSpan {
    uint16_t itemSize = 0, count = 0;
    uint32_t begin = 0;
};

// The table whose item size, count and start lie at `at` in the header.
TableSpan tableAt(ByteReader& r, size_t at, size_t fileSize, size_t minItem, const char* what) {
    r.seek(at);
    TableSpan t;
    t.itemSize = r.u16();
    t.count = r.u16();
    r.u16();
    t.begin = r.u32();
    if (t.count == 0)
        return t;
    if (t.itemSize < minItem)
        throw FormatError(std::string("the ") + what + " table's entries are too small");
    if (uint64_t(t.begin) + uint64_t(t.itemSize) * t.count > fileSize)
        throw FormatError(std::string("the ") + what + " table lies outside the file");
    return t;
}

// The entities follow the header variables; a count and their end say
// where they stop.
constexpr size_t kEarlyEntities = 0x202, kEarlyLayerColors = 0xC8, kEarlyLayers = 128;

FileHeader readEarlyHeader(ByteReader& r) {
    FileHeader h;
    h.version = Version::R1_4;
    r.seek(0x24);
    const int32_t end = r.i32();
    h.entityCount = int16_t(r.u16());
    if (end < int32_t(kEarlyEntities) || size_t(end) > r.size() || h.entityCount < 0)
        throw FormatError("the entity section lies outside the file");
    h.entities = Range{uint32_t(kEarlyEntities), uint32_t(end)};
    h.extMin = point(r, 0x2A, true);
    h.extMax = point(r, 0x42, true);
    h.limMin = point(r, 0x5A, false);
    h.limMax = point(r, 0x6A, false);
    return h;
}

Tables readEarlyTables(ByteReader& r) {
    Tables t;
    r.seek(kEarlyLayerColors);
    for (size_t i = 0; i < kEarlyLayers; ++i) {
        LayerEntry l;
        l.name = std::to_string(i);
        l.color = int16_t(r.u16());
        t.layers.push_back(std::move(l));
    }
    return t;
}

// Seeks to entry `i` and reads the flags and name every entry starts with.
std::string entryHead(ByteReader& r, const TableSpan& t, size_t i, size_t used, int& flags) {
    r.seek(t.begin + i * t.itemSize);
    flags = r.u8();
    std::string name = fixedText(r, 32);
    r.skip(used); // R11 counts each entry's uses
    return name;
}

} // namespace

std::optional<Version> versionOf(const QByteArray& tag) {
    static const struct {
        const char* tag;
        Version version;
    } kTags[] = {{"AC1.40", Version::R1_4},  {"AC1.50", Version::R2_05}, {"AC2.10", Version::R2_10},
                 {"AC1001", Version::R2_21}, {"AC1002", Version::R2_5},  {"AC1003", Version::R2_6},
                 {"AC1004", Version::R9},    {"AC1006", Version::R10},   {"AC1009", Version::R11}};
    for (const auto& t : kTags)
        if (tag.startsWith(t.tag))
            return t.version;
    return std::nullopt;
}

FileHeader readFileHeader(const QByteArray& file, Version version) {
    const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
    const size_t size = size_t(file.size());
    ByteReader r(data, size, "file header");
    FileHeader h;
    h.version = version;
    if (version == Version::R1_4)
        return readEarlyHeader(r);
    r.seek(0x14);
    h.entities.start = r.u32();
    h.entities.end = r.u32();
    h.blocks.start = r.u32();
    // The top byte of a section's size holds flags.
    h.blocks.end = h.blocks.start + (r.u32() & 0xFFFFFF);
    if (version == Version::R11) {
        h.extra.start = r.u32();
        h.extra.end = h.extra.start + (r.u32() & 0xFFFFFF);
    }
    auto check = [&](const Range& s, const char* what) {
        if (s.start > s.end || s.end > size)
            throw FormatError(std::string("the ") + what + " section lies outside the file");
    };
    check(h.entities, "entity");
    check(h.blocks, "block");
    check(h.extra, "extra entity");
    h.extMin = point(r, kExtMin, true);
    h.extMax = point(r, kExtMax, true);
    h.limMin = point(r, kLimMin, false);
    h.limMax = point(r, kLimMax, false);
    r.seek(kLtScale);
    h.ltScale = r.f64();
    // The header variables end where the first section begins.
    const size_t varsEnd = h.entities.start;
    if (varsEnd >= kPdSize + 8) {
        r.seek(kPdMode);
        h.pdMode = int16_t(r.u16());
        h.pdSize = r.f64();
        h.hasPointVars = true;
    }
    if (version == Version::R11) {
        if (varsEnd >= kCodePage + 2) {
            r.seek(kCodePage);
            h.codePage = r.u16();
        }
        if (varsEnd >= kTileMode + 2) {
            r.seek(kTileMode);
            h.tileMode = r.u16() ? 1 : 0;
        }
    }
    return h;
}

Tables readTables(const QByteArray& file, const FileHeader& header) {
    const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
    const size_t size = size_t(file.size());
    ByteReader r(data, size, "table");
    if (header.version == Version::R1_4)
        return readEarlyTables(r);
    const bool r11 = header.version == Version::R11;
    const size_t used = r11 ? 2 : 0;
    Tables t;

    const TableSpan blocks = tableAt(r, kTablesAt, size, 33 + used + 4, "block");
    const TableSpan layers = tableAt(r, kTablesAt + 10, size, 33 + used + 4, "layer");
    // Big fonts came with 2.5.
    const size_t styleFixed = 33 + used + 8 * 3 + 1 + 8 + 64;
    const TableSpan styles = tableAt(r, kTablesAt + 20, size, styleFixed, "style");
    const TableSpan lineTypes =
        tableAt(r, kTablesAt + 30, size, 33 + used + 48 + 2 + 8 + 96, "line type");

    // Extended data names its application by an index into this table.
    if (r11 && header.entities.start >= kAppIds + 10) {
        const TableSpan appIds = tableAt(r, kAppIds, size, 33, "application");
        for (size_t i = 0; i < appIds.count; ++i) {
            int flags = 0;
            t.appIds.push_back(entryHead(r, appIds, i, 0, flags));
        }
    }
    for (size_t i = 0; i < blocks.count; ++i) {
        BlockEntry b;
        b.name = entryHead(r, blocks, i, used, b.flags);
        b.offset = r.u32() & 0xFFFFFF;
        t.blocks.push_back(std::move(b));
    }
    for (size_t i = 0; i < layers.count; ++i) {
        LayerEntry l;
        l.name = entryHead(r, layers, i, used, l.flags);
        l.color = int16_t(r.u16());
        l.lineType = int16_t(r.u16());
        t.layers.push_back(std::move(l));
    }
    for (size_t i = 0; i < styles.count; ++i) {
        StyleEntry s;
        s.name = entryHead(r, styles, i, used, s.flags);
        s.height = r.f64();
        s.width = r.f64();
        s.oblique = r.f64();
        s.generation = r.u8();
        s.lastHeight = r.f64();
        s.font = fixedText(r, 64);
        if (styles.itemSize >= styleFixed + 64)
            s.bigFont = fixedText(r, 64);
        t.styles.push_back(std::move(s));
    }
    for (size_t i = 0; i < lineTypes.count; ++i) {
        LineTypeEntry l;
        int flags = 0;
        l.name = entryHead(r, lineTypes, i, used, flags);
        l.description = fixedText(r, 48);
        l.alignment = r.u8();
        const int count = r.u8();
        l.length = r.f64();
        for (int d = 0; d < 12; ++d) {
            const double dash = r.f64();
            if (d < count)
                l.dashes.push_back(dash);
        }
        t.lineTypes.push_back(std::move(l));
    }
    return t;
}

} // namespace dv::dwg::prer13
