#include "DwgDrawing.h"

#include "DwgEntities.h"
#include "DwgMaps.h"
#include "DwgObject.h"
#include "model/HugePages.h"
#include "model/Parallel.h"
#include "model/VectorState.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <iterator>
#include <memory>
#include <numbers>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace dv::dwg {

namespace {

constexpr double kDegrees = 180 / std::numbers::pi;

bool isFixedEntity(int type) {
    return (type >= kText && type <= kMLine && type != kDictionary) || type == kOle2Frame ||
           type == kLwPolyline || type == kHatch || type == kProxyEntity;
}

// DXF names of the fixed entity types not decoded, for the skipped list.
std::string fixedTypeName(int type) {
    switch (type) {
    case kShape:
        return "SHAPE";
    case kViewport:
        return "VIEWPORT";
    case kRegion:
        return "REGION";
    case k3dSolid:
        return "3DSOLID";
    case kBody:
        return "BODY";
    case kOleFrame:
        return "OLEFRAME";
    case kTolerance:
        return "TOLERANCE";
    case kMLine:
        return "MLINE";
    case kOle2Frame:
        return "OLE2FRAME";
    case kLine:
        return "LINE";
    case kCircle:
        return "CIRCLE";
    case kArc:
        return "ARC";
    case kText:
        return "TEXT";
    case kMText:
        return "MTEXT";
    case kInsert:
        return "INSERT";
    case kLwPolyline:
        return "LWPOLYLINE";
    case kHatch:
        return "HATCH";
    default:
        return "entity type " + std::to_string(type);
    }
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return s;
}

struct BlockRecord {
    uint64_t handle = 0;
    std::string name;
    int flags = 0;
    Point3 base;
    uint64_t blockEntity = 0, endBlock = 0, layout = 0;
    std::string xrefPath;
    std::vector<size_t> entities; // indexes into the entity list
};

struct LineTypeDash {
    double length = 0, scale = 1, rotation = 0, dx = 0, dy = 0;
    int shapeFlag = 0, shape = 0;
    uint64_t style = 0; // the STYLE record of its font or shape file
    std::string text;
};

struct EntityRec {
    uint64_t handle = 0;
    int type = 0;
    int entMode = 2;
    uint64_t owner = 0;
    const GroupList* pool = nullptr; // where its groups are; none when not decoded
    size_t start = 0, end = 0;       // in the pool
    EntityLinks links;
};

// A drawing may hold hundreds of thousands: large pages spare the faults.
using EntityRecs = std::vector<EntityRec, HugePageAllocator<EntityRec>>;

// Entities a thread decodes: [from, to) of the entity list, into the same
// places of the records.
struct EntityPart {
    size_t from = 0, to = 0;
    GroupList* pool = nullptr;
    std::map<std::string, int> skipped;
    std::exception_ptr error;
};

// Below this much entity data a second thread costs more than it saves.
constexpr size_t kEntityBytesPerPart = 64 * 1024;

struct LayoutRec {
    uint64_t handle = 0;
    std::string name;
    int flags = 0, tabOrder = 0;
    uint64_t blockRecord = 0;
};

class Assembler {
public:
    Assembler(Sections& s, DecodedDrawing& out, const std::function<void(int)>& progress)
        : m_s(s), m_out(out), m_progress(progress), m_text(s.release, s.codePage),
          m_tables(out.tables), m_objects(out.objects), m_pool(out.entities) {}

    void run();

private:
    ObjectReader open(uint64_t offset) {
        return ObjectReader(m_s.objects.constData(), size_t(m_s.objects.size()), offset,
                            m_s.release);
    }
    std::string str(BitReader& r) const { return m_text(r.T()); }
    void readTableEntry(ObjectReader& o, uint64_t handle);
    std::string readEntryName(ObjectReader& o) {
        std::string name = str(o.data);
        o.data.B(); // referenced
        if (!o.data.atLeast(Release::R2007))
            o.data.BS(); // xref index, gone from R2007 on
        o.data.B();      // depends on an xref
        return name;
    }
    void readLayer(ObjectReader& o);
    void readLineType(ObjectReader& o);
    void readStyle(ObjectReader& o);
    void readBlockHeader(ObjectReader& o);
    void readLayout(ObjectReader& o);
    void readMLineStyle(ObjectReader& o);
    void readImageDef(ObjectReader& o);
    void nameBlocks();
    void decodeEntities();
    void decodePart(EntityPart& part, bool reportsProgress) noexcept;
    void writeAll();
    void emitHeader(GroupList& g);
    void emitTables(GroupList& g);
    void emitEntity(GroupList& g, size_t index, int depth);
    void skip(const std::string& what) { ++m_out.skipped[what]; }
    static constexpr size_t kNoEntity = SIZE_MAX;
    size_t entityIndex(uint64_t handle) const {
        const auto it =
            std::lower_bound(m_entities.begin(), m_entities.end(), handle,
                             [](const EntityRec& e, uint64_t h) { return e.handle < h; });
        return it != m_entities.end() && it->handle == handle && it->pool
                   ? size_t(it - m_entities.begin())
                   : kNoEntity;
    }

    Sections& m_s;
    DecodedDrawing& m_out;
    const std::function<void(int)>& m_progress;
    TextConverter m_text;
    std::map<int, DwgClass> m_classes;
    ObjectMap m_map;
    TableNames m_names;

    GroupList& m_tables; // LAYER, LTYPE and STYLE entries, ready to write
    size_t m_lineTypesEnd = 0;
    std::vector<std::pair<uint64_t, size_t>> m_layerGroups, m_styleGroups, m_ltypeGroups;
    std::vector<BlockRecord> m_blocks;
    std::unordered_map<uint64_t, size_t> m_blockIndex;
    std::unordered_map<uint64_t, std::vector<std::pair<uint64_t, std::string>>> m_styleEed;
    int m_model = -1, m_paper = -1;
    std::vector<LayoutRec> m_layouts;
    GroupList& m_objects;                  // MLINESTYLE and IMAGEDEF objects, ready to write
    std::vector<uint32_t> m_entityObjects; // the entities' places in m_map
    std::vector<int> m_entityTypes;
    size_t m_entityBytes = 0; // the entities' data, for the pool's room
    // Where each entity's data starts within all of theirs, and then their
    // total: for splitting them into parts of about as many bytes.
    std::vector<size_t> m_entityBytesBefore;

    GroupList& m_pool; // the groups of the entities, or of the first part of them
    // One for each entity object, by rising handle as the object map lists
    // them; those not decoded keep their handle and no pool. The parts fill
    // their places directly: gathering them afterwards cost more than the
    // decoding of small drawings.
    EntityRecs m_entities;
    std::unordered_map<uint64_t, std::vector<size_t>> m_followers;
};

void Assembler::run() {
    m_classes = readClasses(m_s);
    m_map = readObjectMap(m_s);
    m_out.header = readHeaderVariables(m_s);
    m_out.header.measurement = readMeasurement(m_s.templ, m_s.release);
    const size_t total = std::max<size_t>(1, m_map.size());
    if (m_map.size() > UINT32_MAX)
        throw FormatError("the object map lists more objects than can be read");
    // Most objects of a large drawing are entities.
    m_entityObjects.reserve(m_map.size());
    m_entityBytesBefore.reserve(m_map.size() + 1);
    m_entityTypes.reserve(m_map.size());
    for (size_t index = 0; index < m_map.size(); ++index) {
        const auto [handle, offset] = m_map[index];
        if (m_progress && (index + 1) % 4096 == 0)
            m_progress(int((index + 1) * 30 / total));
        try {
            const ObjectPeek peek = peekObject(m_s.objects.constData(), size_t(m_s.objects.size()),
                                               offset, m_s.release);
            const int type = peek.type;
            bool entity = isFixedEntity(type);
            if (type >= 500) {
                const auto it = m_classes.find(type);
                if (it == m_classes.end()) {
                    skip("object of an unknown class");
                    continue;
                }
                entity = it->second.entity;
            }
            if (entity) {
                m_entityObjects.push_back(uint32_t(index));
                m_entityBytes += peek.bytes;
                m_entityBytesBefore.push_back(m_entityBytes - peek.bytes);
                m_entityTypes.push_back(type);
            } else {
                ObjectReader o = open(offset);
                readTableEntry(o, handle);
            }
        } catch (const FormatError&) {
            skip("damaged object");
        }
    }
    m_entityBytesBefore.push_back(m_entityBytes);
    nameBlocks();
    decodeEntities();
    writeAll();
}

// Anonymous blocks and the layouts' spaces are stored without the number
// that tells them apart; they get one in handle order, as when the drawing
// is loaded.
void Assembler::nameBlocks() {
    for (size_t i = 0; i < m_blocks.size(); ++i)
        m_blockIndex[m_blocks[i].handle] = i;
    auto findSpace = [&](uint64_t fromHeader, const char* name) -> int {
        if (const auto it = m_blockIndex.find(fromHeader); it != m_blockIndex.end())
            return int(it->second);
        for (size_t i = 0; i < m_blocks.size(); ++i)
            if (upper(m_blocks[i].name) == name)
                return int(i);
        return -1;
    };
    m_model = findSpace(m_out.header.modelSpace, "*MODEL_SPACE");
    m_paper = findSpace(m_out.header.paperSpace, "*PAPER_SPACE");
    int spaces = 0, anonymous = 0;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        BlockRecord& b = m_blocks[i];
        if (int(i) == m_model || int(i) == m_paper || b.name.empty() || b.name[0] != '*')
            continue;
        if (upper(b.name) == "*PAPER_SPACE")
            b.name += std::to_string(spaces++);
        else if (b.name.size() <= 2)
            b.name += std::to_string(++anonymous);
        m_names.blocks[b.handle] = b.name;
    }
}

void Assembler::readTableEntry(ObjectReader& o, uint64_t) {
    const int type = o.type();
    std::string className;
    if (type >= 500)
        className = m_classes[type].dxfName;
    if (type != kLayer && type != kLtype && type != kStyle && type != kBlockHeader &&
        type != kDimstyle && type != kAppid && type != kMLineStyle && type != kLayout &&
        className != "LAYOUT" && className != "IMAGEDEF")
        return;
    o.readCommon(false);
    o.readCommonHandles();
    switch (type) {
    case kLayer:
        return readLayer(o);
    case kLtype:
        return readLineType(o);
    case kStyle:
        return readStyle(o);
    case kBlockHeader:
        return readBlockHeader(o);
    case kDimstyle:
        m_names.dimStyles[o.head.handle] = str(o.data);
        return;
    case kAppid:
        m_names.appIds[o.head.handle] = str(o.data);
        return;
    case kMLineStyle:
        return readMLineStyle(o);
    default:
        if (className == "IMAGEDEF")
            return readImageDef(o);
        // Layouts came with R2000; an older file holds them only as a newer
        // program's leftovers, which its own DXF form leaves out as well.
        if (m_s.release >= Release::R2000)
            readLayout(o);
        return;
    }
}

void Assembler::readLayer(ObjectReader& o) {
    BitReader& r = o.data;
    const std::string name = readEntryName(o);
    bool frozen = false, off = false, locked = false;
    int lineWeight = -3;
    if (r.atLeast(Release::R2000)) {
        const int flags = r.BS();
        frozen = flags & 1;
        off = flags & 2;
        locked = flags & 8;
        lineWeight = lineWeightValue((flags & 0x3E0) >> 5);
    } else {
        // Whether a layer is off shows in its colour's sign alone here.
        frozen = r.B();
        r.B();
        r.B();
        locked = r.B();
    }
    const CmColor color = r.CMC();
    o.handleValue(); // xref block
    if (r.atLeast(Release::R2000))
        o.handleValue(); // plot style
    if (r.atLeast(Release::R2007))
        o.handleValue(); // material
    const uint64_t ltype = o.handleValue();
    m_names.layers[o.head.handle] = name;
    GroupList& g = m_tables;
    m_layerGroups.emplace_back(o.head.handle, g.size());
    g.literal(0, "LAYER");
    g.handle(5, o.head.handle);
    g.literal(100, "AcDbLayerTableRecord");
    g.text(2, name);
    g.integer(70, (frozen ? 1 : 0) | (locked ? 4 : 0));
    const int aci = std::abs(color.index);
    g.integer(62, (off || color.index < 0) ? -std::max(aci, 1) : std::max(aci, 1));
    if (color.rgb >= 0)
        g.integer(420, color.rgb);
    // The line type's name is filled in once every line type is known.
    g.handle(6, ltype);
    g.integer(370, lineWeight);
}

void Assembler::readLineType(ObjectReader& o) {
    BitReader& r = o.data;
    const std::string name = readEntryName(o);
    const std::string description = str(r);
    const double length = r.BD();
    r.RC(); // alignment
    const int count = r.RC();
    std::vector<LineTypeDash> dashes(static_cast<size_t>(count));
    bool anyText = false;
    for (LineTypeDash& d : dashes) {
        d.length = r.BD();
        d.shape = r.BS();
        d.dx = r.RD();
        d.dy = r.RD();
        d.scale = r.BD();
        d.rotation = r.BD();
        d.shapeFlag = r.BS();
        anyText = anyText || (d.shapeFlag & 2);
    }
    // The texts of the dashes, at the byte offsets their shape numbers give.
    const bool unicode = r.atLeast(Release::R2007);
    if (!unicode || anyText) {
        const size_t areaSize = unicode ? 512 : 256;
        std::string area(areaSize, '\0');
        for (size_t i = 0; i < areaSize; ++i)
            area[i] = char(r.RC());
        for (LineTypeDash& d : dashes) {
            if (!(d.shapeFlag & 2) || d.shape < 0 || size_t(d.shape) >= areaSize)
                continue;
            if (unicode) {
                std::u16string t;
                for (size_t i = size_t(d.shape); i + 1 < areaSize; i += 2) {
                    const char16_t c = char16_t(uint8_t(area[i]) | uint8_t(area[i + 1]) << 8);
                    if (!c)
                        break;
                    t.push_back(c);
                }
                d.text = QString::fromUtf16(t.data(), qsizetype(t.size())).toStdString();
            } else {
                d.text = m_text(std::string(area.c_str() + d.shape));
            }
        }
    }
    // Each element's STYLE; where the references are cut short the
    // pattern still stands, its shapes left as gaps.
    try {
        o.handleValue(); // xref block
        for (LineTypeDash& d : dashes)
            d.style = o.handleValue();
    } catch (const FormatError&) {
    }
    m_names.lineTypes[o.head.handle] = name;
    GroupList& g = m_tables;
    m_ltypeGroups.emplace_back(o.head.handle, g.size());
    g.literal(0, "LTYPE");
    g.handle(5, o.head.handle);
    g.literal(100, "AcDbLinetypeTableRecord");
    g.text(2, name);
    g.integer(70, 0);
    g.text(3, description);
    g.integer(72, 65);
    g.integer(73, count);
    g.real(40, length);
    for (const LineTypeDash& d : dashes) {
        g.real(49, d.length);
        g.integer(74, d.shapeFlag);
        if (d.shapeFlag & 6) {
            g.integer(75, (d.shapeFlag & 2) ? 0 : d.shape);
            if (d.style)
                g.handle(340, d.style);
            g.real(46, d.scale);
            g.real(50, d.rotation * kDegrees);
            g.real(44, d.dx);
            g.real(45, d.dy);
            if (d.shapeFlag & 2)
                g.text(9, d.text);
        }
    }
}

void Assembler::readStyle(ObjectReader& o) {
    BitReader& r = o.data;
    const std::string name = readEntryName(o);
    const bool vertical = r.B();
    const bool shapeFile = r.B();
    const double fixedHeight = r.BD();
    const double width = r.BD();
    const double oblique = r.BD();
    const int generation = r.RC();
    const double lastHeight = r.BD();
    const std::string font = str(r);
    const std::string bigFont = str(r);
    m_names.styles[o.head.handle] = name;
    if (!o.eedTexts.empty())
        m_styleEed[o.head.handle] = o.eedTexts;
    GroupList& g = m_tables;
    m_styleGroups.emplace_back(o.head.handle, g.size());
    g.literal(0, "STYLE");
    g.handle(5, o.head.handle);
    g.literal(100, "AcDbTextStyleTableRecord");
    g.text(2, name);
    g.integer(70, (shapeFile ? 1 : 0) | (vertical ? 4 : 0));
    g.real(40, fixedHeight);
    g.real(41, width);
    g.real(50, oblique * kDegrees);
    g.integer(71, generation);
    g.real(42, lastHeight);
    g.text(3, font);
    g.text(4, bigFont);
}

void Assembler::readBlockHeader(ObjectReader& o) {
    BitReader& r = o.data;
    BlockRecord b;
    b.handle = o.head.handle;
    b.name = readEntryName(o);
    const bool anonymous = r.B();
    const bool attributes = r.B();
    const bool xref = r.B();
    const bool overlaid = r.B();
    if (r.atLeast(Release::R2000))
        r.B(); // loaded
    int32_t owned = 0;
    if (r.atLeast(Release::R2004) && !xref && !overlaid) {
        owned = r.BL();
        if (owned < 0 || size_t(owned) > o.handles.bitsLeft() / 8)
            throw FormatError("a block claims more entities than it has handles");
    }
    b.base = r.BD3();
    b.xrefPath = str(r);
    int inserts = 0;
    if (r.atLeast(Release::R2000))
        for (int guard = 0; guard < 1 << 20 && r.RC() != 0; ++guard)
            ++inserts;
    b.flags = (anonymous ? 1 : 0) | (attributes ? 2 : 0) | (xref ? 4 : 0) | (overlaid ? 8 : 0);
    if (!r.atLeast(Release::R2004))
        o.handleValue(); // always null
    b.blockEntity = o.handleValue();
    if (!r.atLeast(Release::R2004)) {
        if (!xref && !overlaid) {
            o.handleValue(); // first entity
            o.handleValue(); // last entity
        }
    } else {
        for (int32_t i = 0; i < owned; ++i)
            o.handleValue();
    }
    b.endBlock = o.handleValue();
    if (r.atLeast(Release::R2000)) {
        if (size_t(inserts) > o.handles.bitsLeft() / 8)
            throw FormatError("a block claims more inserts than it has handles");
        for (int i = 0; i < inserts; ++i)
            o.handleValue();
        b.layout = o.handleValue();
    }
    m_names.blocks[b.handle] = b.name;
    m_blocks.push_back(std::move(b));
}

void Assembler::readMLineStyle(ObjectReader& o) {
    BitReader& r = o.data;
    GroupList& g = m_objects;
    const std::string name = str(r);
    m_names.mlineStyles[o.head.handle] = name;
    g.literal(0, "MLINESTYLE");
    g.handle(5, o.head.handle);
    g.literal(100, "AcDbMlineStyle");
    g.text(2, name);
    g.text(3, str(r));
    g.integer(70, r.BS());
    const CmColor fill = r.CMC();
    g.integer(62, fill.index);
    if (fill.rgb >= 0)
        g.integer(420, fill.rgb);
    g.real(51, r.BD() * kDegrees);
    g.real(52, r.BD() * kDegrees);
    const int lines = r.RC();
    g.integer(71, lines);
    for (int i = 0; i < lines; ++i) {
        g.real(49, r.BD());
        const CmColor c = r.CMC();
        g.integer(62, c.index);
        if (c.rgb >= 0)
            g.integer(420, c.rgb);
        if (!r.atLeast(Release::R2018))
            r.BS(); // line type index
    }
}

void Assembler::readImageDef(ObjectReader& o) {
    BitReader& r = o.data;
    r.BL();  // class version
    r.RD2(); // size in pixels
    const std::string file = str(r);
    GroupList& g = m_objects;
    g.literal(0, "IMAGEDEF");
    g.handle(5, o.head.handle);
    g.literal(100, "AcDbRasterImageDef");
    g.text(1, file);
}

void Assembler::readLayout(ObjectReader& o) {
    BitReader& r = o.data;
    // The plot settings come first.
    str(r);
    str(r);
    r.BS();
    for (int i = 0; i < 6; ++i)
        r.BD();
    str(r);
    r.BD2();
    for (int i = 0; i < 3; ++i)
        r.BS();
    r.BD2();
    r.BD2();
    if (!r.atLeast(Release::R2004))
        str(r); // plot view name
    r.BD();
    r.BD();
    str(r);
    r.BS();
    r.BD();
    r.BD2();
    if (r.atLeast(Release::R2004))
        for (int i = 0; i < 3; ++i)
            r.BS();
    LayoutRec l;
    l.handle = o.head.handle;
    l.name = str(r);
    l.tabOrder = r.BS();
    l.flags = r.BS();
    if (r.atLeast(Release::R2004))
        o.handleValue(); // plot view
    if (r.atLeast(Release::R2007))
        o.handleValue(); // visual style
    l.blockRecord = o.handleValue();
    m_layouts.push_back(std::move(l));
}

void Assembler::decodeEntities() {
    // Entities decode independently of each other. A large drawing's are
    // split between the cores, each part into a pool of its own, and joined
    // in their order afterwards.
    const size_t count = m_entityObjects.size();
    const size_t parts =
        std::clamp<size_t>(m_entityBytes / kEntityBytesPerPart, 1, size_t(workerCount()));
    // Parts of about as many bytes: one large entity may outweigh many.
    const auto at = [&](size_t q) {
        return q == parts ? count
                          : size_t(std::lower_bound(m_entityBytesBefore.begin(),
                                                    m_entityBytesBefore.begin() + long(count),
                                                    m_entityBytes * q / parts) -
                                   m_entityBytesBefore.begin());
    };
    m_entities.resize(count);
    std::vector<EntityPart> batches(parts);
    for (size_t p = 0; p < parts; ++p) {
        EntityPart& part = batches[p];
        part.pool =
            p == 0 ? &m_pool : m_out.moreEntities.emplace_back(std::make_unique<GroupList>()).get();
        part.from = at(p);
        part.to = at(p + 1);
    }
    std::vector<std::thread> helpers;
    for (size_t p = 1; p < parts; ++p)
        helpers.emplace_back([this, &part = batches[p]] { decodePart(part, false); });
    decodePart(batches[0], true);
    for (std::thread& t : helpers)
        t.join();

    for (EntityPart& part : batches) {
        if (part.error)
            std::rethrow_exception(part.error);
        for (const auto& [what, n] : part.skipped)
            m_out.skipped[what] += n;
    }
}

void Assembler::decodePart(EntityPart& part, bool reportsProgress) noexcept {
    try {
        EntityDecoder decoder(m_names, m_text);
        GroupList& pool = *part.pool;
        // Entities hold about a group for every two or three bytes; room for
        // that up front spares the pool its copies as it grows. What is not
        // filled stays untouched, and the room is bounded by the data's size.
        pool.reserve((m_entityBytesBefore[part.to] - m_entityBytesBefore[part.from]) / 2);
        const size_t total = std::max<size_t>(1, part.to - part.from);
        for (size_t i = part.from; i < part.to; ++i) {
            if (reportsProgress && m_progress && (i - part.from) % 4096 == 0)
                m_progress(30 + int((i - part.from) * 70 / total));
            const auto [handle, offset] = m_map[m_entityObjects[i]];
            EntityRec& e = m_entities[i];
            e.handle = handle;
            const int type = m_entityTypes[i];
            if (type == kBlock || type == kEndblk)
                continue; // written from the block's record
            std::string className;
            if (type >= 500)
                if (const auto k = m_classes.find(type); k != m_classes.end())
                    className = k->second.dxfName;
            const size_t start = pool.size();
            try {
                ObjectReader o = open(offset);
                o.readCommon(true);
                o.readCommonHandles();
                e.type = type;
                e.entMode = o.head.entMode;
                e.owner = o.head.owner;
                e.start = start;
                if (!decoder.decode(o, className, o.head.entMode == 1, pool, e.links)) {
                    ++part.skipped[className.empty() ? fixedTypeName(type) : className];
                    continue;
                }
                e.end = pool.size();
                e.pool = &pool;
            } catch (const FormatError&) {
                pool.truncate(start);
                ++part.skipped[(className.empty() ? fixedTypeName(type) : className) +
                               " (damaged)"];
                continue;
            }
        }
    } catch (...) {
        // Anything but a damaged entity (memory running out) ends the load,
        // on the reading thread.
        part.error = std::current_exception();
    }
}

void Assembler::emitHeader(GroupList& g) {
    const HeaderVars& h = m_out.header;
    auto var = [&](const char* name) { g.literal(9, name); };
    g.literal(0, "SECTION");
    g.literal(2, "HEADER");
    var("$ACADVER");
    g.literal(1, "AC1021"); // strings are UTF-8 here, whatever the release
    if (h.complete) {
        var("$INSUNITS");
        g.integer(70, h.insUnits);
        if (h.measurement >= 0) {
            var("$MEASUREMENT");
            g.integer(70, h.measurement);
        }
        var("$LTSCALE");
        g.real(40, h.ltScale);
        var("$PSLTSCALE");
        g.integer(70, h.psLtScale ? 1 : 0);
        var("$CELTSCALE");
        g.real(40, h.celtScale);
        if (m_s.release >= Release::R2000) {
            var("$LWDISPLAY");
            g.integer(290, h.lwDisplay ? 1 : 0);
        }
        var("$PDMODE");
        g.integer(70, h.pdMode);
        var("$PDSIZE");
        g.real(40, h.pdSize);
        var("$EXTMIN");
        g.point(10, h.extMin);
        var("$EXTMAX");
        g.point(10, h.extMax);
        var("$LIMMIN");
        g.point(10, h.limMin);
        var("$LIMMAX");
        g.point(10, h.limMax);
        var("$TILEMODE");
        g.integer(70, h.tileMode);
        var("$DIMASZ");
        g.real(40, h.dimAsz);
        var("$DIMTXT");
        g.real(40, h.dimTxt);
        var("$DIMSCALE");
        g.real(40, h.dimScale);
        var("$DIMDEC");
        g.integer(70, h.dimDec);
    }
    g.literal(0, "ENDSEC");
}

void Assembler::emitTables(GroupList& g) {
    g.literal(0, "SECTION");
    g.literal(2, "TABLES");
    auto table = [&](const char* name, const std::vector<std::pair<uint64_t, size_t>>& entries) {
        g.literal(0, "TABLE");
        g.literal(2, name);
        for (const auto& [handle, from] : entries) {
            size_t to = from + 1;
            while (to < m_tables.size() && m_tables[to].code != 0)
                ++to;
            for (size_t i = from; i < to; ++i) {
                const dxf::Group& x = m_tables[i];
                // A layer names its line type by handle until here.
                if (entries.data() == m_layerGroups.data() && x.code == 6) {
                    const std::string& name = TableNames::find(m_names.lineTypes, dxf::toHandle(x),
                                                               std::string("CONTINUOUS"));
                    g.text(6, name);
                } else {
                    g.append(m_tables, i, i + 1);
                }
            }
            // A TrueType style names its font family in the program's data.
            if (entries.data() == m_styleGroups.data())
                if (const auto it = m_styleEed.find(handle); it != m_styleEed.end())
                    for (const auto& [app, text] : it->second)
                        if (TableNames::find(m_names.appIds, app, std::string()) == "ACAD") {
                            g.literal(1001, "ACAD");
                            g.text(1000, m_text(text));
                        }
        }
        g.literal(0, "ENDTAB");
    };
    table("LTYPE", m_ltypeGroups);
    table("LAYER", m_layerGroups);
    table("STYLE", m_styleGroups);
    g.literal(0, "TABLE");
    g.literal(2, "BLOCK_RECORD");
    for (const BlockRecord& b : m_blocks) {
        g.literal(0, "BLOCK_RECORD");
        g.handle(5, b.handle);
        g.literal(100, "AcDbBlockTableRecord");
        g.text(2, b.name);
        if (b.layout)
            g.handle(340, b.layout);
    }
    g.literal(0, "ENDTAB");
    g.literal(0, "ENDSEC");
}

void Assembler::emitEntity(GroupList& g, size_t index, int depth) {
    const EntityRec& e = m_entities[index];
    g.append(*e.pool, e.start, e.end);
    if (!e.links.hasFollowers || depth > 0)
        return;
    std::vector<size_t> followers;
    if (!e.links.owned.empty()) {
        for (uint64_t h : e.links.owned)
            if (const size_t f = entityIndex(h); f != kNoEntity)
                followers.push_back(f);
    } else if (const auto it = m_followers.find(e.handle); it != m_followers.end()) {
        followers = it->second;
    }
    for (size_t f : followers)
        if (m_entities[f].type != kSeqend)
            emitEntity(g, f, depth + 1);
    if (const size_t end = entityIndex(e.links.seqEnd); end != kNoEntity)
        emitEntity(g, end, depth + 1);
    else
        g.literal(0, "SEQEND");
}

void Assembler::writeAll() {
    // Where each entity goes: the spaces by the entity's mode, blocks and
    // owners by its owner handle.
    const std::unordered_map<uint64_t, size_t>& blockIndex = m_blockIndex;
    const int model = m_model, paper = m_paper;
    std::unordered_set<uint64_t> owned;
    for (const EntityRec& e : m_entities)
        if (e.pool)
            for (uint64_t h : e.links.owned)
                owned.insert(h);
    for (size_t i = 0; i < m_entities.size(); ++i) {
        const EntityRec& e = m_entities[i];
        if (!e.pool || owned.count(e.handle))
            continue;
        int block = -1;
        if (e.entMode == 2)
            block = model;
        else if (e.entMode == 1)
            block = paper;
        else if (const auto it = blockIndex.find(e.owner); it != blockIndex.end())
            block = int(it->second);
        else if (entityIndex(e.owner) != kNoEntity) {
            m_followers[e.owner].push_back(i);
            continue;
        }
        if (block < 0) {
            skip("entity outside any block");
            continue;
        }
        m_blocks[size_t(block)].entities.push_back(i);
    }

    GroupList& g = m_out.groups;
    emitHeader(g);
    emitTables(g);
    g.literal(0, "SECTION");
    g.literal(2, "BLOCKS");
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        const BlockRecord& r = m_blocks[b];
        g.literal(0, "BLOCK");
        g.handle(5, r.blockEntity);
        g.handle(330, r.handle);
        g.literal(100, "AcDbEntity");
        g.literal(8, "0");
        g.literal(100, "AcDbBlockBegin");
        g.text(2, r.name);
        g.integer(70, r.flags);
        g.point(10, r.base);
        g.text(3, r.name);
        if (!r.xrefPath.empty())
            g.text(1, r.xrefPath);
        if (int(b) != model && int(b) != paper)
            for (size_t i : r.entities)
                emitEntity(g, i, 0);
        g.literal(0, "ENDBLK");
        g.handle(5, r.endBlock);
        g.handle(330, r.handle);
        g.literal(100, "AcDbEntity");
        g.literal(8, "0");
        g.literal(100, "AcDbBlockEnd");
    }
    g.literal(0, "ENDSEC");
    g.literal(0, "SECTION");
    g.literal(2, "ENTITIES");
    if (model >= 0)
        for (size_t i : m_blocks[size_t(model)].entities)
            emitEntity(g, i, 0);
    if (paper >= 0)
        for (size_t i : m_blocks[size_t(paper)].entities)
            emitEntity(g, i, 0);
    g.literal(0, "ENDSEC");
    g.literal(0, "SECTION");
    g.literal(2, "OBJECTS");
    for (const LayoutRec& l : m_layouts) {
        g.literal(0, "LAYOUT");
        g.handle(5, l.handle);
        g.literal(100, "AcDbPlotSettings");
        g.literal(100, "AcDbLayout");
        g.text(1, l.name);
        g.integer(70, l.flags);
        g.integer(71, l.tabOrder);
        if (l.blockRecord)
            g.handle(330, l.blockRecord);
    }
    g.append(m_objects, 0, m_objects.size());
    g.literal(0, "ENDSEC");
    g.literal(0, "EOF");
}

} // namespace

void decodeDrawing(Sections& sections, DecodedDrawing& out,
                   const std::function<void(int)>& progress) {
    clearUpperVectorState();
    Assembler a(sections, out, progress);
    a.run();
}

} // namespace dv::dwg
