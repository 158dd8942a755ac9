#include "DwgEntities.h"

#include "DwgMLeader.h"
#include "DwgXData.h"

#include "formats/dxf/DxfText.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::dwg {

namespace {

constexpr double kDegrees = 180 / std::numbers::pi;

const std::string kLayerZero = "0";
const std::string kNone;

// A count of handles that follow: each takes a byte at least, and they lie
// in the handle data, not after the count.
int32_t handleCount(ObjectReader& o, int32_t n, const char* what) {
    if (n < 0 || size_t(n) > o.handles.bitsLeft() / 8)
        throw FormatError(std::string("a count of ") + std::to_string(n) + " " + what +
                          " exceeds the object's handles");
    return n;
}

Point3 withZ(Point2 p, double z) {
    return {p.x, p.y, z};
}

} // namespace

int32_t checkedCount(BitReader& r, int32_t n, const char* what) {
    if (n < 0 || size_t(n) > r.bitsLeft())
        throw FormatError(std::string("a count of ") + std::to_string(n) + " " + what +
                          " exceeds the object");
    return n;
}

const std::string& TableNames::find(const std::unordered_map<uint64_t, std::string>& m, uint64_t h,
                                    const std::string& fallback) {
    const auto it = m.find(h);
    return it == m.end() ? fallback : it->second;
}

TextConverter::TextConverter(Release release, uint16_t codePage)
    : m_utf8(release >= Release::R2007) {
    // The code page numbers of the file header for the Windows code pages.
    static const struct {
        uint16_t number;
        const char* name;
    } kPages[] = {{28, "ANSI_1250"}, {29, "ANSI_1251"}, {30, "ANSI_1252"}, {31, "ANSI_1253"},
                  {32, "ANSI_1254"}, {33, "ANSI_1255"}, {34, "ANSI_1256"}, {35, "ANSI_1257"},
                  {36, "ANSI_874"},  {37, "ANSI_932"},  {38, "ANSI_936"},  {39, "ANSI_949"},
                  {40, "ANSI_950"},  {41, "ANSI_1361"}, {43, "ANSI_1258"}};
    std::string page = "ANSI_1252";
    for (const auto& p : kPages)
        if (p.number == codePage)
            page = p.name;
    m_codec = dxf::codecNameFor(page).toStdString();
}

std::string TextConverter::operator()(std::string raw) const {
    if (m_utf8)
        return raw;
    bool ascii = true;
    for (unsigned char c : raw)
        ascii = ascii && c < 0x80;
    if (ascii)
        return raw;
    QStringDecoder d(m_codec.c_str());
    const QString s = d.isValid() ? QString(d(QByteArrayView(raw.data(), qsizetype(raw.size()))))
                                  : QString::fromLatin1(raw.data(), qsizetype(raw.size()));
    return s.toStdString();
}

void EntityDecoder::common(ObjectReader& o, std::string_view type, bool paper, GroupList& out) {
    const ObjectHead& h = o.head;
    out.text(0, type);
    out.handle(5, h.handle);
    if (h.entMode == 0 && h.owner)
        out.handle(330, h.owner);
    out.literal(100, "AcDbEntity");
    if (paper)
        out.integer(67, 1);
    out.text(8, TableNames::find(m_names.layers, h.layer, kLayerZero));
    const bool r2000 = o.data.atLeast(Release::R2000);
    if (r2000 && h.ltFlags == 1)
        out.literal(6, "BYBLOCK");
    else if (r2000 && h.ltFlags == 2)
        out.literal(6, "CONTINUOUS");
    else if (h.ltype) {
        const std::string& lt = TableNames::find(m_names.lineTypes, h.ltype, kNone);
        if (!lt.empty() && !dxf::equalsNoCase(lt, "BYLAYER"))
            out.text(6, lt);
    }
    if (h.color.index != 256)
        out.integer(62, h.color.index);
    if (h.color.rgb >= 0)
        out.integer(420, h.color.rgb);
    if (h.color.transparency >= 0 && ((uint32_t(h.color.transparency) >> 24) == 0x02))
        out.integer(440, h.color.transparency);
    const int lw = lineWeightValue(h.lineWeight);
    if (lw != -1)
        out.integer(370, lw);
    if (h.ltScale != 1)
        out.real(48, h.ltScale);
    if (h.invisible & 1)
        out.integer(60, 1);
}

bool EntityDecoder::decode(ObjectReader& o, std::string_view dxfName, bool paper, GroupList& out,
                           EntityLinks& links) {
    BitReader& r = o.data;
    const bool r2000 = r.atLeast(Release::R2000);
    const size_t start = out.size();
    auto begin = [&](std::string_view type) { common(o, type, paper, out); };
    switch (o.type()) {
    case kLine: {
        begin("LINE");
        Point3 a, b;
        if (r2000) {
            const bool flat = r.B();
            a.x = r.RD();
            b.x = r.DD(a.x);
            a.y = r.RD();
            b.y = r.DD(a.y);
            if (!flat) {
                a.z = r.RD();
                b.z = r.DD(a.z);
            }
        } else {
            a = r.BD3();
            b = r.BD3();
        }
        const double thickness = r.BT();
        const Point3 ext = r.BE();
        out.point(10, a);
        out.point(11, b);
        if (thickness != 0)
            out.real(39, thickness);
        out.extrusion(ext);
        return true;
    }
    case kPoint: {
        begin("POINT");
        out.point(10, r.BD3());
        const double thickness = r.BT();
        out.extrusion(r.BE());
        if (thickness != 0)
            out.real(39, thickness);
        out.real(50, r.BD() * kDegrees);
        return true;
    }
    case kCircle:
    case kArc: {
        begin(o.type() == kArc ? "ARC" : "CIRCLE");
        out.point(10, r.BD3());
        out.real(40, r.BD());
        const double thickness = r.BT();
        out.extrusion(r.BE());
        if (thickness != 0)
            out.real(39, thickness);
        if (o.type() == kArc) {
            out.real(50, r.BD() * kDegrees);
            out.real(51, r.BD() * kDegrees);
        }
        return true;
    }
    case kEllipse: {
        begin("ELLIPSE");
        out.point(10, r.BD3());
        out.point(11, r.BD3());
        out.extrusion(r.BD3());
        out.real(40, r.BD());
        out.real(41, r.BD());
        out.real(42, r.BD());
        return true;
    }
    case kSolid:
    case kTrace: {
        begin(o.type() == kSolid ? "SOLID" : "TRACE");
        const double thickness = r.BT();
        const double z = r.BD();
        for (int i = 0; i < 4; ++i)
            out.point(10 + i, withZ(r.RD2(), z));
        out.extrusion(r.BE());
        if (thickness != 0)
            out.real(39, thickness);
        return true;
    }
    case k3dFace: {
        begin("3DFACE");
        Point3 p[4];
        int invisible = 0;
        if (r2000) {
            const bool noFlags = r.B();
            const bool flat = r.B();
            p[0].x = r.RD();
            p[0].y = r.RD();
            if (!flat)
                p[0].z = r.RD();
            for (int i = 1; i < 4; ++i)
                p[i] = r.DD3(p[i - 1]);
            if (!noFlags)
                invisible = r.BS();
        } else {
            for (Point3& q : p)
                q = r.BD3();
            invisible = r.BS();
        }
        for (int i = 0; i < 4; ++i)
            out.point(10 + i, p[i]);
        if (invisible)
            out.integer(70, invisible);
        return true;
    }
    case kRay:
    case kXline:
        begin(o.type() == kRay ? "RAY" : "XLINE");
        out.point(10, r.BD3());
        out.point(11, r.BD3());
        return true;
    case kText:
        begin("TEXT");
        text(o, out, kText);
        return true;
    case kAttrib:
        begin("ATTRIB");
        text(o, out, kAttrib);
        return true;
    case kAttdef:
        begin("ATTDEF");
        text(o, out, kAttdef);
        return true;
    case kInsert:
    case kMinsert:
        begin("INSERT");
        insert(o, out, links, o.type() == kMinsert);
        return true;
    case kBlock:
        return true; // written from its block's record
    case kEndblk:
    case kSeqend:
        begin(o.type() == kSeqend ? "SEQEND" : "ENDBLK");
        return true;
    case kPolyline2d: {
        begin("POLYLINE");
        const int flags = r.BS();
        const int curve = r.BS();
        const double w0 = r.BD();
        const double w1 = r.BD();
        const double thickness = r.BT();
        const double elevation = r.BD();
        const Point3 ext = r.BE();
        out.integer(66, 1);
        out.point(10, Point3{0, 0, elevation});
        out.integer(70, flags);
        if (curve)
            out.integer(75, curve);
        if (w0 != 0)
            out.real(40, w0);
        if (w1 != 0)
            out.real(41, w1);
        if (thickness != 0)
            out.real(39, thickness);
        out.extrusion(ext);
        followers(o, links, true);
        return true;
    }
    case kPolyline3d: {
        begin("POLYLINE");
        const int splineFlags = r.RC();
        const int closedFlags = r.RC();
        int flags = 8 | (closedFlags & 1);
        if (splineFlags & 1)
            flags |= 4;
        out.integer(66, 1);
        out.point(10, Point3{});
        out.integer(70, flags);
        followers(o, links, true);
        return true;
    }
    case kPolylinePface: {
        begin("POLYLINE");
        const int vertices = r.BS();
        const int faces = r.BS();
        out.integer(66, 1);
        out.point(10, Point3{});
        out.integer(70, 64);
        out.integer(71, vertices);
        out.integer(72, faces);
        followers(o, links, true);
        return true;
    }
    case kPolylineMesh: {
        begin("POLYLINE");
        const int flags = r.BS();
        const int curve = r.BS();
        const int m = r.BS(), n = r.BS(), md = r.BS(), nd = r.BS();
        out.integer(66, 1);
        out.point(10, Point3{});
        out.integer(70, flags | 16);
        out.integer(71, m);
        out.integer(72, n);
        out.integer(73, md);
        out.integer(74, nd);
        if (curve)
            out.integer(75, curve);
        followers(o, links, true);
        return true;
    }
    case kVertex2d: {
        begin("VERTEX");
        const int flags = r.RC();
        const Point3 p = r.BD3();
        double w0 = r.BD(), w1;
        if (w0 < 0)
            w1 = w0 = -w0;
        else
            w1 = r.BD();
        const double bulge = r.BD();
        out.point(10, p);
        if (w0 != 0)
            out.real(40, w0);
        if (w1 != 0)
            out.real(41, w1);
        if (bulge != 0)
            out.real(42, bulge);
        out.integer(70, flags);
        return true;
    }
    case kVertex3d:
    case kVertexMesh:
    case kVertexPface: {
        begin("VERTEX");
        const int flags = r.RC();
        out.point(10, r.BD3());
        const int kind = o.type() == kVertex3d ? 32 : o.type() == kVertexMesh ? 64 : 192;
        out.integer(70, (flags & ~0xE0) | kind);
        return true;
    }
    case kVertexPfaceFace: {
        begin("VERTEX");
        out.point(10, Point3{});
        out.integer(70, 128);
        for (int i = 0; i < 4; ++i)
            out.integer(71 + i, r.BS());
        return true;
    }
    case kLwPolyline:
        begin("LWPOLYLINE");
        lwPolyline(o, out);
        return true;
    case kSpline:
        begin("SPLINE");
        spline(o, out);
        return true;
    case kMText:
        begin("MTEXT");
        mtext(o, out);
        return true;
    case kDimOrdinate:
    case kDimLinear:
    case kDimAligned:
    case kDimAng3Pt:
    case kDimAng2Ln:
    case kDimRadius:
    case kDimDiameter:
        begin("DIMENSION");
        dimension(o, out, o.type());
        return true;
    case kLeader:
        begin("LEADER");
        leader(o, out);
        return true;
    case kHatch:
        begin("HATCH");
        hatch(o, out);
        return true;
    case kViewport:
        // Those of R13 and R14 outside paper space are the program's own,
        // left out of the DXF as well.
        if (!r2000 && !paper)
            break;
        begin("VIEWPORT");
        if (r2000) {
            viewport(o, out);
        } else {
            // R13 and R14 keep the view in the program's extended data, as
            // R12 files do.
            out.literal(100, "AcDbViewport");
            out.point(10, r.BD3());
            out.real(40, r.BD());
            out.real(41, r.BD());
            static const std::string none;
            for (const ObjectReader::ExtendedData& x : o.extended)
                if (TableNames::find(m_names.appIds, x.app, none) == "ACAD")
                    appendExtendedData(x.items, "ACAD", m_names, m_text, out);
        }
        return true;
    case kMLine:
        begin("MLINE");
        mline(o, out);
        return true;
    default:
        break;
    }
    if (dxfName == "ACAD_TABLE") {
        // A table draws as a reference to the block of its look.
        begin("ACAD_TABLE");
        insert(o, out, links, false);
        links.hasFollowers = false;
        return true;
    }
    if (dxfName == "ARC_DIMENSION") {
        // Its first points are those of a three-point angle; its block draws it.
        begin("ARC_DIMENSION");
        dimension(o, out, kDimAng3Pt);
        return true;
    }
    if (dxfName == "IMAGE" || dxfName == "WIPEOUT") {
        begin(dxfName);
        image(o, out);
        return true;
    }
    if (dxfName == "HATCH") {
        begin("HATCH");
        hatch(o, out);
        return true;
    }
    if (dxfName == "LWPOLYLINE") {
        begin("LWPOLYLINE");
        lwPolyline(o, out);
        return true;
    }
    if (dxfName == "HELIX") {
        begin("HELIX");
        helix(o, out);
        return true;
    }
    if (dxfName == "MULTILEADER") {
        begin("MULTILEADER");
        decodeMLeader(r, o.handles, o.head.handle, m_text, out);
        return true;
    }
    if ((o.type() == kProxyEntity || !dxfName.empty()) && o.graphics.size() > 8) {
        begin(o.type() == kProxyEntity ? std::string_view("ACAD_PROXY_ENTITY") : dxfName);
        proxyGraphics(o.graphics, out);
        return true;
    }
    out.truncate(start);
    return false;
}

void EntityDecoder::text(ObjectReader& o, GroupList& out, int kind) {
    BitReader& r = o.data;
    double elevation = 0, oblique = 0, rotation = 0, height = 0, width = 1, thickness = 0;
    Point2 insertion, alignment;
    Point3 ext{0, 0, 1};
    int generation = 0, halign = 0, valign = 0;
    std::string value;
    if (r.atLeast(Release::R2000)) {
        const uint8_t df = r.RC();
        if (!(df & 1))
            elevation = r.RD();
        insertion = r.RD2();
        alignment = insertion;
        if (!(df & 2))
            alignment = r.DD2(insertion);
        ext = r.BE();
        thickness = r.BT();
        if (!(df & 4))
            oblique = r.RD();
        if (!(df & 8))
            rotation = r.RD();
        height = r.RD();
        if (!(df & 0x10))
            width = r.RD();
        value = str(r);
        if (!(df & 0x20))
            generation = r.BS();
        if (!(df & 0x40))
            halign = r.BS();
        if (!(df & 0x80))
            valign = r.BS();
    } else {
        elevation = r.BD();
        insertion = r.RD2();
        alignment = r.RD2();
        ext = r.BD3();
        thickness = r.BD();
        oblique = r.BD();
        rotation = r.BD();
        height = r.BD();
        width = r.BD();
        value = str(r);
        generation = r.BS();
        halign = r.BS();
        valign = r.BS();
    }
    const uint64_t style = o.handleValue();
    out.literal(100, "AcDbText");
    if (thickness != 0)
        out.real(39, thickness);
    out.point(10, withZ(insertion, elevation));
    out.real(40, height);
    out.text(1, value);
    if (rotation != 0)
        out.real(50, rotation * kDegrees);
    if (width != 1)
        out.real(41, width);
    if (oblique != 0)
        out.real(51, oblique * kDegrees);
    out.text(7, TableNames::find(m_names.styles, style, kNone));
    if (generation)
        out.integer(71, generation);
    if (halign)
        out.integer(72, halign);
    if (halign || valign)
        out.point(11, withZ(alignment, elevation));
    out.extrusion(ext);
    if (kind == kText) {
        out.literal(100, "AcDbText");
        if (valign)
            out.integer(73, valign);
        return;
    }
    if (r.atLeast(Release::R2010))
        r.RC(); // version
    // From R2018 a multi-line attribute (2, or 4 for a definition) embeds
    // its text as an MTEXT. Where that does not read, the attribute still
    // shows its value, as its single-line form, without its tag and flags.
    MTextData embedded;
    const int attributeType = r.atLeast(Release::R2018) ? r.RC() : 1;
    const bool multiLine = attributeType == 2 || attributeType == 4;
    const bool readable =
        !multiLine || embeddedMText(o, withZ(insertion, elevation), height, embedded);
    std::string tag, prompt;
    int flags = 0;
    if (readable) {
        tag = str(r);
        r.BS(); // field length
        flags = r.RC();
        if (kind == kAttdef) {
            if (r.atLeast(Release::R2007))
                r.B();
            if (r.atLeast(Release::R2010))
                r.RC();
            prompt = str(r);
        }
    }
    out.literal(100, kind == kAttrib ? "AcDbAttribute" : "AcDbAttributeDefinition");
    if (kind == kAttdef)
        out.text(3, prompt);
    out.text(2, tag);
    out.integer(70, flags);
    if (valign)
        out.integer(74, valign);
    if (multiLine && readable) {
        out.literal(101, "Embedded Object");
        mtextGroups(embedded, out);
        out.point(11, embedded.xAxis);
    }
}

void EntityDecoder::followers(ObjectReader& o, EntityLinks& links, bool present) {
    if (!present)
        return;
    links.hasFollowers = true;
    if (o.data.atLeast(Release::R2004)) {
        const int32_t n = handleCount(o, o.data.BL(), "followers");
        for (int32_t i = 0; i < n; ++i)
            links.owned.push_back(o.handleValue());
    } else {
        o.handleValue();
        o.handleValue();
    }
    links.seqEnd = o.handleValue();
}

void EntityDecoder::insert(ObjectReader& o, GroupList& out, EntityLinks& links, bool multiple) {
    BitReader& r = o.data;
    const Point3 at = r.BD3();
    Point3 scale{1, 1, 1};
    if (r.atLeast(Release::R2000)) {
        switch (r.BB()) {
        case 3:
            break;
        case 1:
            scale.y = r.DD(1.0);
            scale.z = r.DD(1.0);
            break;
        case 2:
            scale.x = scale.y = scale.z = r.RD();
            break;
        default:
            scale.x = r.RD();
            scale.y = r.DD(scale.x);
            scale.z = r.DD(scale.x);
            break;
        }
    } else {
        scale = r.BD3();
    }
    const double rotation = r.BD();
    const Point3 ext = r.BD3();
    const bool attributes = r.B();
    int columns = 1, rows = 1;
    double dx = 0, dy = 0;
    // The owned count (R2004 on) sits before the array's fields.
    int32_t owned = 0;
    if (r.atLeast(Release::R2004) && attributes)
        owned = handleCount(o, r.BL(), "attributes");
    if (multiple) {
        columns = r.BS();
        rows = r.BS();
        dx = r.BD();
        dy = r.BD();
    }
    const uint64_t block = o.handleValue();
    if (attributes) {
        links.hasFollowers = true;
        if (r.atLeast(Release::R2004)) {
            for (int32_t i = 0; i < owned; ++i)
                links.owned.push_back(o.handleValue());
        } else {
            o.handleValue();
            o.handleValue();
        }
        links.seqEnd = o.handleValue();
    }
    out.literal(100, "AcDbBlockReference");
    if (attributes)
        out.integer(66, 1);
    out.text(2, TableNames::find(m_names.blocks, block, kNone));
    out.point(10, at);
    if (scale.x != 1)
        out.real(41, scale.x);
    if (scale.y != 1)
        out.real(42, scale.y);
    if (scale.z != 1)
        out.real(43, scale.z);
    if (rotation != 0)
        out.real(50, rotation * kDegrees);
    if (multiple) {
        out.integer(70, columns);
        out.integer(71, rows);
        out.real(44, dx);
        out.real(45, dy);
    }
    out.extrusion(ext);
}

void EntityDecoder::lwPolyline(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    const int flag = r.BS();
    double width = 0, elevation = 0, thickness = 0;
    Point3 normal{0, 0, 1};
    if (flag & 4)
        width = r.BD();
    if (flag & 8)
        elevation = r.BD();
    if (flag & 2)
        thickness = r.BD();
    if (flag & 1)
        normal = r.BD3();
    const int32_t n = checkedCount(r, r.BL(), "vertices");
    const int32_t bulges = (flag & 16) ? checkedCount(r, r.BL(), "bulges") : 0;
    int32_t ids = 0;
    if (r.atLeast(Release::R2010) && (flag & 1024))
        ids = checkedCount(r, r.BL(), "vertex ids");
    const int32_t widths = (flag & 32) ? checkedCount(r, r.BL(), "widths") : 0;
    // A vertex takes four bits at the least, so this bounds the room below.
    if (size_t(n) > r.bitsLeft() / 4)
        throw FormatError("a count of " + std::to_string(n) + " vertices exceeds the object");
    out.literal(100, "AcDbPolyline");
    out.integer(90, n);
    out.integer(70, ((flag & 512) ? 1 : 0) | ((flag & 256) ? 128 : 0));
    if (flag & 4)
        out.real(43, width);
    if (elevation != 0)
        out.real(38, elevation);
    if (thickness != 0)
        out.real(39, thickness);
    // The stream holds all points, then all bulges, then all widths; each
    // vertex's groups have their places laid out first and are filled as
    // the values come: 10 and 20, then 40 and 41, then 42.
    const size_t widthAt = 2, bulgeAt = widths ? 4 : 2;
    const size_t stride = bulgeAt + (bulges ? 1 : 0);
    const size_t first = out.extend(size_t(n) * stride);
    Point2 previous{};
    for (int32_t i = 0; i < n; ++i) {
        const Point2 p = (i == 0 || !r.atLeast(Release::R2000)) ? r.RD2() : r.DD2(previous);
        const size_t at = first + size_t(i) * stride;
        out.setReal(at, 10, p.x);
        out.setReal(at + 1, 20, p.y);
        if (bulges)
            out.setReal(at + bulgeAt, 42, 0);
        if (widths) {
            out.setReal(at + widthAt, 40, 0);
            out.setReal(at + widthAt + 1, 41, 0);
        }
        previous = p;
    }
    for (int32_t i = 0; i < bulges; ++i) {
        const double v = r.BD();
        if (i < n)
            out.setReal(first + size_t(i) * stride + bulgeAt, 42, v);
    }
    for (int32_t i = 0; i < ids; ++i)
        r.BL();
    for (int32_t i = 0; i < widths; ++i) {
        const double w0 = r.BD();
        const double w1 = r.BD();
        if (i < n) {
            out.setReal(first + size_t(i) * stride + widthAt, 40, w0);
            out.setReal(first + size_t(i) * stride + widthAt + 1, 41, w1);
        }
    }
    out.extrusion(normal);
}

void EntityDecoder::spline(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    int scenario = r.BL();
    if (r.atLeast(Release::R2013)) {
        // The flags and knot parameterisation decide between fit and control data.
        const int32_t flags = r.BL();
        const int32_t knots = r.BL();
        if (flags & 1)
            scenario = 2;
        if (knots == 15)
            scenario = 1;
    }
    const int degree = r.BL();
    out.literal(100, "AcDbSpline");
    if (scenario == 2) {
        const double tol = r.BD();
        const Point3 t0 = r.BD3();
        const Point3 t1 = r.BD3();
        const int32_t nfit = checkedCount(r, r.BL(), "fit points");
        out.integer(70, 8);
        out.integer(71, degree);
        out.integer(74, nfit);
        out.real(44, tol);
        if (t0.x != 0 || t0.y != 0 || t0.z != 0)
            out.point(12, t0);
        if (t1.x != 0 || t1.y != 0 || t1.z != 0)
            out.point(13, t1);
        for (int32_t i = 0; i < nfit; ++i)
            out.point(11, r.BD3());
        return;
    }
    const bool rational = r.B();
    const bool closed = r.B();
    const bool periodic = r.B();
    const double knotTol = r.BD();
    const double ctrlTol = r.BD();
    const int32_t nknots = checkedCount(r, r.BL(), "knots");
    const int32_t nctrl = checkedCount(r, r.BL(), "control points");
    const bool weights = r.B();
    out.integer(70, (closed ? 1 : 0) | (periodic ? 2 : 0) | (rational ? 4 : 0) | 8);
    out.integer(71, degree);
    out.integer(72, nknots);
    out.integer(73, nctrl);
    out.integer(74, 0);
    out.real(42, knotTol);
    out.real(43, ctrlTol);
    for (int32_t i = 0; i < nknots; ++i)
        out.real(40, r.BD());
    for (int32_t i = 0; i < nctrl; ++i) {
        out.point(10, r.BD3());
        if (weights)
            out.real(41, r.BD());
    }
}

MTextData EntityDecoder::mtextData(BitReader& r) {
    MTextData m;
    m.at = r.BD3();
    m.extrusion = r.BD3();
    m.xAxis = r.BD3();
    m.width = r.BD();
    if (r.atLeast(Release::R2007))
        r.BD(); // its box's height
    m.height = r.BD();
    m.attach = r.BS();
    m.direction = r.BS();
    r.BD(); // extents height
    r.BD(); // extents width
    m.value = str(r);
    if (r.atLeast(Release::R2000)) {
        m.spacingStyle = r.BS();
        m.spacing = r.BD();
        r.B();
    }
    if (r.atLeast(Release::R2004)) {
        m.background = r.BL();
        if (m.background & 1 || m.background & 16) {
            m.backgroundScale = r.BD();
            m.backgroundColor = r.CMC();
            r.BL();
        }
    }
    return m;
}

// The groups after the subclass marker, for the entity and for an
// attribute's embedded text alike.
void EntityDecoder::mtextGroups(const MTextData& m, GroupList& out) {
    out.point(10, m.at);
    out.real(40, m.height);
    out.real(41, m.width);
    out.integer(71, m.attach);
    out.integer(72, m.direction);
    // Long contents go out in pieces the way DXF stores them.
    const std::string_view value = m.value;
    size_t pos = 0;
    while (value.size() - pos > 250) {
        size_t cut = pos + 250;
        while (cut > pos && (uint8_t(value[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 sequence
        out.text(3, value.substr(pos, cut - pos));
        pos = cut;
    }
    out.text(1, value.substr(pos));
}

void EntityDecoder::mtext(ObjectReader& o, GroupList& out) {
    const MTextData m = mtextData(o.data);
    const uint64_t style = o.handleValue();
    out.literal(100, "AcDbMText");
    mtextGroups(m, out);
    out.text(7, TableNames::find(m_names.styles, style, kNone));
    out.extrusion(m.extrusion);
    out.point(11, m.xAxis);
    out.integer(73, m.spacingStyle);
    out.real(44, m.spacing);
    if (m.background) {
        out.integer(90, m.background);
        out.integer(63, m.backgroundColor.index);
        if (m.backgroundColor.rgb >= 0)
            out.integer(421, m.backgroundColor.rgb);
        out.real(45, m.backgroundScale);
    }
}

// A multi-line attribute keeps an MTEXT's data ahead of its tag, then the
// data of its annotative scales if it has any. False where what is there
// does not read as such: the reading position is then lost.
bool EntityDecoder::embeddedMText(ObjectReader& o, Point3 start, double height, MTextData& m) {
    BitReader& r = o.data;
    try {
        m = mtextData(r);
        const int annotative = r.BS();
        if (annotative < 0)
            return false;
        if (annotative > 0) {
            r.skipBytes(size_t(annotative));
            o.handleValue(); // the application that owns that data
            r.BS();
        }
    } catch (const FormatError&) {
        return false;
    }
    // Its text starts where the attribute does, give or take its box: one
    // that lies far off was not read where it is stored. The two points are
    // in different frames, which keep distances from the origin.
    const double reach = 100 * std::max({std::abs(height), std::abs(m.height), 1.0}) + m.width;
    const bool nearby = std::abs(std::hypot(m.at.x, m.at.y, m.at.z) -
                                 std::hypot(start.x, start.y, start.z)) <= reach;
    return m.attach >= 1 && m.attach <= 9 && m.direction >= 1 && m.direction <= 5 &&
           std::isfinite(m.height) && std::isfinite(m.width) && m.width >= 0 &&
           (m.spacingStyle == 1 || m.spacingStyle == 2) && std::isfinite(m.spacing) && nearby;
}

void EntityDecoder::dimension(ObjectReader& o, GroupList& out, int type) {
    BitReader& r = o.data;
    if (r.atLeast(Release::R2010))
        r.RC();
    const Point3 ext = r.BD3();
    const Point2 mid = r.RD2();
    const double elevation = r.BD();
    const int flags1 = r.RC();
    const std::string userText = str(r);
    const double textRotation = r.BD();
    const double horizontal = r.BD();
    r.BD3(); // insertion scale
    r.BD();  // insertion rotation
    int attach = 5, spacingStyle = 1;
    double spacing = 1, measured = -1;
    if (r.atLeast(Release::R2000)) {
        attach = r.BS();
        spacingStyle = r.BS();
        spacing = r.BD();
        measured = r.BD();
    }
    if (r.atLeast(Release::R2007)) {
        r.B();
        r.B();
        r.B();
    }
    const Point2 clone = r.RD2();
    Point3 p10, p13, p14, p15;
    Point2 p16;
    double rotation = 0, oblique = 0, leader = 0;
    int kind = 0, flags2 = 0;
    switch (type) {
    case kDimOrdinate:
        kind = 6;
        p10 = r.BD3();
        p13 = r.BD3();
        p14 = r.BD3();
        flags2 = r.RC();
        break;
    case kDimLinear:
    case kDimAligned:
        kind = type == kDimLinear ? 0 : 1;
        p13 = r.BD3();
        p14 = r.BD3();
        p10 = r.BD3();
        oblique = r.BD();
        if (type == kDimLinear)
            rotation = r.BD();
        break;
    case kDimAng3Pt:
        kind = 5;
        p10 = r.BD3();
        p13 = r.BD3();
        p14 = r.BD3();
        p15 = r.BD3();
        break;
    case kDimAng2Ln:
        kind = 2;
        p16 = r.RD2();
        p13 = r.BD3();
        p14 = r.BD3();
        p15 = r.BD3();
        p10 = r.BD3();
        break;
    default:
        kind = type == kDimRadius ? 4 : 3;
        p10 = r.BD3();
        p15 = r.BD3();
        leader = r.BD();
        break;
    }
    const uint64_t style = o.handleValue();
    const uint64_t block = o.handleValue();
    int flags = kind | 32;
    if (kind == 6 && (flags2 & 1))
        flags |= 64;
    if (!(flags1 & 1))
        flags |= 128;
    out.literal(100, "AcDbDimension");
    out.text(2, TableNames::find(m_names.blocks, block, kNone));
    out.point(10, p10);
    out.point(11, withZ(mid, elevation));
    out.point(12, withZ(clone, elevation));
    out.integer(70, flags);
    if (!userText.empty())
        out.text(1, userText);
    if (textRotation != 0)
        out.real(53, textRotation * kDegrees);
    if (horizontal != 0)
        out.real(51, horizontal * kDegrees);
    out.integer(71, attach);
    out.integer(72, spacingStyle);
    out.real(41, spacing);
    if (measured >= 0)
        out.real(42, measured);
    out.text(3, TableNames::find(m_names.dimStyles, style, kNone));
    out.extrusion(ext);
    if (kind == 0 || kind == 1 || kind == 5 || kind == 6 || kind == 2) {
        out.point(13, p13);
        out.point(14, p14);
    }
    if (kind == 2 || kind == 5 || kind == 3 || kind == 4)
        out.point(15, p15);
    if (kind == 2)
        out.point(16, p16);
    if (kind == 0)
        out.real(50, rotation * kDegrees);
    if (kind <= 1 && oblique != 0)
        out.real(52, oblique * kDegrees);
    if (kind == 3 || kind == 4)
        out.real(40, leader);
}

void EntityDecoder::leader(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    r.B();
    const int annotation = r.BS();
    const int path = r.BS();
    const int32_t n = checkedCount(r, r.BL(), "leader points");
    std::vector<Point3> pts(static_cast<size_t>(n));
    for (Point3& p : pts)
        p = r.BD3();
    r.BD3(); // the end projected onto the annotation
    const Point3 ext = r.BD3();
    const Point3 xdir = r.BD3();
    // R13 keeps the arrow's flag where we have not seen it: drawn, as before.
    bool arrow = true;
    double boxHeight = 0, boxWidth = 0;
    if (r.atLeast(Release::R14)) {
        r.BD3(); // the end's offset from a block's insertion point
        r.BD3(); // and from the annotation
        if (!r.atLeast(Release::R2000))
            r.BD(); // the dimension gap
        // From R2010 on the text box's size is no longer stored.
        if (!r.atLeast(Release::R2010)) {
            boxHeight = r.BD();
            boxWidth = r.BD();
        }
        r.B(); // the hook line's side
        arrow = r.B();
    }
    const uint64_t annotationHandle = o.handleValue();
    const uint64_t style = o.handleValue();
    out.literal(100, "AcDbLeader");
    out.text(3, TableNames::find(m_names.dimStyles, style, kNone));
    out.integer(71, arrow ? 1 : 0);
    out.integer(72, path);
    out.integer(73, annotation);
    if (boxHeight > 0)
        out.real(40, boxHeight);
    if (boxWidth > 0)
        out.real(41, boxWidth);
    out.integer(76, n);
    for (const Point3& p : pts)
        out.point(10, p);
    if (annotationHandle)
        out.handle(340, annotationHandle);
    out.extrusion(ext);
    out.point(211, xdir);
}

void EntityDecoder::hatch(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    const bool r2004 = r.atLeast(Release::R2004);
    bool gradient = false;
    std::string gradientName;
    double gradientAngle = 0, gradientShift = 0, tint = 0;
    int singleColor = 0;
    std::vector<CmColor> colors;
    if (r2004) {
        gradient = r.BL() != 0;
        r.BL();
        gradientAngle = r.BD();
        gradientShift = r.BD();
        singleColor = r.BL();
        tint = r.BD();
        const int32_t nc = checkedCount(r, r.BL(), "gradient colours");
        for (int32_t i = 0; i < nc; ++i) {
            r.BD();
            colors.push_back(r.CMC());
        }
        gradientName = str(r);
    }
    const double z = r.BD();
    const Point3 ext = r.BD3();
    const std::string name = str(r);
    const bool solid = r.B();
    const bool associative = r.B();
    const int32_t paths = checkedCount(r, r.BL(), "boundary paths");
    out.literal(100, "AcDbHatch");
    out.point(10, Point3{0, 0, z});
    out.extrusion(ext);
    out.text(2, name);
    out.integer(70, solid ? 1 : 0);
    out.integer(71, associative ? 1 : 0);
    out.integer(91, paths);
    bool derived = false;
    std::vector<int32_t> sourceCounts;
    for (int32_t p = 0; p < paths; ++p) {
        const int32_t flags = r.BL();
        derived = derived || (flags & 4);
        out.integer(92, flags);
        if (!(flags & 2)) {
            const int32_t segs = checkedCount(r, r.BL(), "edges");
            out.integer(93, segs);
            for (int32_t s = 0; s < segs; ++s) {
                const int kind = r.RC();
                out.integer(72, kind);
                switch (kind) {
                case 1:
                    out.point(10, r.RD2());
                    out.point(11, r.RD2());
                    break;
                case 2: {
                    out.point(10, r.RD2());
                    out.real(40, r.BD());
                    out.real(50, r.BD() * kDegrees);
                    out.real(51, r.BD() * kDegrees);
                    out.integer(73, r.B() ? 1 : 0);
                    break;
                }
                case 3: {
                    out.point(10, r.RD2());
                    out.point(11, r.RD2());
                    out.real(40, r.BD());
                    out.real(50, r.BD() * kDegrees);
                    out.real(51, r.BD() * kDegrees);
                    out.integer(73, r.B() ? 1 : 0);
                    break;
                }
                case 4: {
                    out.integer(94, r.BL());
                    const bool rational = r.B();
                    out.integer(73, rational ? 1 : 0);
                    out.integer(74, r.B() ? 1 : 0);
                    const int32_t nk = checkedCount(r, r.BL(), "knots");
                    const int32_t nc = checkedCount(r, r.BL(), "control points");
                    out.integer(95, nk);
                    out.integer(96, nc);
                    for (int32_t i = 0; i < nk; ++i)
                        out.real(40, r.BD());
                    for (int32_t i = 0; i < nc; ++i) {
                        out.point(10, r.RD2());
                        if (rational)
                            out.real(42, r.BD());
                    }
                    if (r.atLeast(Release::R2010)) {
                        const int32_t nf = checkedCount(r, r.BL(), "fit points");
                        out.integer(97, nf);
                        for (int32_t i = 0; i < nf; ++i)
                            out.point(11, r.RD2());
                        if (nf > 0) {
                            out.point(12, r.RD2());
                            out.point(13, r.RD2());
                        }
                    }
                    break;
                }
                default:
                    throw FormatError("a hatch edge of unknown kind " + std::to_string(kind));
                }
            }
        } else {
            const bool bulges = r.B();
            const bool closed = r.B();
            const int32_t n = checkedCount(r, r.BL(), "path vertices");
            out.integer(72, bulges ? 1 : 0);
            out.integer(73, closed ? 1 : 0);
            out.integer(93, n);
            for (int32_t i = 0; i < n; ++i) {
                out.point(10, r.RD2());
                if (bulges)
                    out.real(42, r.BD());
            }
        }
        const int32_t sources = checkedCount(r, r.BL(), "boundary objects");
        out.integer(97, sources);
        sourceCounts.push_back(sources);
    }
    out.integer(75, r.BS());
    out.integer(76, r.BS());
    if (!solid) {
        out.real(52, r.BD() * kDegrees);
        out.real(41, r.BD());
        out.integer(77, r.B() ? 1 : 0);
        const int lines = r.BS();
        checkedCount(r, lines, "pattern lines");
        out.integer(78, lines);
        for (int i = 0; i < lines; ++i) {
            out.real(53, r.BD() * kDegrees);
            // Base point and offset go as 43, 44 and 45, 46; a second 53
            // would begin another line.
            const Point2 base = r.BD2();
            const Point2 offset = r.BD2();
            out.real(43, base.x);
            out.real(44, base.y);
            out.real(45, offset.x);
            out.real(46, offset.y);
            const int dashes = r.BS();
            checkedCount(r, dashes, "dashes");
            out.integer(79, dashes);
            for (int d = 0; d < dashes; ++d)
                out.real(49, r.BD());
        }
    }
    if (derived)
        out.real(47, r.BD());
    if (gradient) {
        out.integer(450, 1);
        out.integer(452, singleColor);
        out.real(460, gradientAngle);
        out.real(461, gradientShift);
        out.real(462, tint);
        out.integer(453, int(colors.size()));
        for (const CmColor& c : colors) {
            out.integer(63, c.index);
            if (c.rgb >= 0)
                out.integer(421, c.rgb);
        }
        out.text(470, gradientName);
    }
}

// Its stored graphics, the spline that approximates it, then what defines
// it: the DXF builder draws it from the last where it can.
void EntityDecoder::helix(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    if (o.graphics.size() > 8)
        proxyGraphics(o.graphics, out);
    spline(o, out);
    out.literal(100, "AcDbHelix");
    out.integer(90, r.BL()); // major and maintenance versions
    out.integer(91, r.BL());
    out.point(10, r.BD3()); // axis base point
    out.point(11, r.BD3()); // start point
    out.point(12, r.BD3()); // axis vector
    out.real(40, r.BD());   // radius at the top
    out.real(41, r.BD());   // turns
    out.real(42, r.BD());   // turn height
    out.integer(290, r.B() ? 1 : 0);
    out.integer(280, r.RC()); // what stays fixed when it changes
}

// As DXF stores them: the size, then the bytes in hexadecimal chunks.
void EntityDecoder::proxyGraphics(const std::string& bytes, GroupList& out) {
    static const char digits[] = "0123456789ABCDEF";
    out.integer(92, int64_t(bytes.size()));
    for (size_t at = 0; at < bytes.size(); at += 127) {
        std::string hex;
        const size_t n = std::min<size_t>(127, bytes.size() - at);
        for (size_t i = 0; i < n; ++i) {
            hex.push_back(digits[uint8_t(bytes[at + i]) >> 4]);
            hex.push_back(digits[uint8_t(bytes[at + i]) & 15]);
        }
        out.text(310, hex);
    }
}

void EntityDecoder::mline(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    const double scale = r.BD();
    const int justification = r.RC();
    const Point3 base = r.BD3();
    const Point3 ext = r.BD3();
    const int flags = r.BS();
    const int lines = r.RC();
    const int vertices = checkedCount(r, r.BS(), "multiline vertices");
    const uint64_t style = o.handleValue();
    out.literal(100, "AcDbMline");
    out.text(2, TableNames::find(m_names.mlineStyles, style, kNone));
    out.handle(340, style);
    out.real(40, scale);
    out.integer(70, justification);
    out.integer(71, flags);
    out.integer(72, vertices);
    out.integer(73, lines);
    out.point(10, base);
    out.extrusion(ext);
    for (int v = 0; v < vertices; ++v) {
        out.point(11, r.BD3());
        out.point(12, r.BD3());
        out.point(13, r.BD3());
        for (int l = 0; l < lines; ++l) {
            const int params = checkedCount(r, r.BS(), "segment parameters");
            out.integer(74, params);
            for (int i = 0; i < params; ++i)
                out.real(41, r.BD());
            const int fills = checkedCount(r, r.BS(), "fill parameters");
            out.integer(75, fills);
            for (int i = 0; i < fills; ++i)
                out.real(42, r.BD());
        }
    }
}

void EntityDecoder::image(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    r.BL(); // class version
    const Point3 at = r.BD3();
    const Point3 u = r.BD3();
    const Point3 v = r.BD3();
    const Point2 size = r.RD2();
    const int display = r.BS();
    const bool clipping = r.B();
    r.RC(); // brightness
    r.RC(); // contrast
    r.RC(); // fade
    if (r.atLeast(Release::R2010))
        r.B();
    const int clipType = r.BS();
    std::vector<Point2> clip;
    if (clipType == 1) {
        clip.push_back(r.RD2());
        clip.push_back(r.RD2());
    } else {
        const int32_t n = checkedCount(r, r.BL(), "clip vertices");
        for (int32_t i = 0; i < n; ++i)
            clip.push_back(r.RD2());
    }
    const uint64_t def = o.handleValue();
    out.literal(100, "AcDbRasterImage");
    out.point(10, at);
    out.point(11, u);
    out.point(12, v);
    out.point(13, size);
    if (def)
        out.handle(340, def);
    out.integer(70, display);
    out.integer(280, clipping ? 1 : 0);
    out.integer(71, clipType);
    out.integer(91, int(clip.size()));
    for (const Point2& p : clip)
        out.point(14, p);
}

void EntityDecoder::viewport(ObjectReader& o, GroupList& out) {
    BitReader& r = o.data;
    const Point3 center = r.BD3();
    const double width = r.BD();
    const double height = r.BD();
    out.literal(100, "AcDbViewport");
    out.point(10, center);
    out.real(40, width);
    out.real(41, height);
    const Point3 target = r.BD3();
    const Point3 direction = r.BD3();
    const double twist = r.BD();
    const double viewHeight = r.BD();
    r.BD(); // lens
    r.BD(); // front clip
    r.BD(); // back clip
    r.BD(); // snap angle
    const Point2 viewCenter = r.RD2();
    r.RD2();
    r.RD2();
    r.RD2();
    r.BS();
    if (r.atLeast(Release::R2007))
        r.BS();
    const int32_t frozen = checkedCount(r, r.BL(), "frozen layers");
    const int32_t status = r.BL();
    out.point(12, viewCenter);
    out.point(16, direction);
    out.point(17, target);
    out.real(45, viewHeight);
    out.real(51, twist * kDegrees);
    out.integer(90, status);
    if (size_t(frozen) > o.handles.bitsLeft() / 8)
        throw FormatError("a viewport claims more frozen layers than it has handles");
    for (int32_t i = 0; i < frozen; ++i)
        out.handle(331, o.handleValue());
    const uint64_t clip = o.handleValue();
    if (clip)
        out.handle(340, clip);
}

} // namespace dv::dwg
