#include "formats/dwg/DwgBitReader.h"
#include "formats/dwg/DwgEntities.h"
#include "formats/dwg/DwgMLeader.h"
#include "formats/dwg/DwgObject.h"

#include <QTest>

#include <cstring>
#include <map>
#include <numbers>

#include <string>
#include <vector>

using namespace dv::dwg;

namespace {

// Packs fields of given bit widths, most significant bit first, as DWG does.
class BitWriter {
public:
    void put(uint64_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_bit % 8 == 0)
                m_bytes.push_back('\0');
            if ((value >> i) & 1)
                m_bytes.back() = char(m_bytes.back() | (0x80 >> (m_bit % 8)));
            ++m_bit;
        }
    }
    void bytes(std::initializer_list<int> b) {
        for (int v : b)
            put(uint64_t(v) & 0xFF, 8);
    }
    size_t bits() const { return m_bit; }
    void real(double v) {
        uint64_t b;
        std::memcpy(&b, &v, 8);
        for (int i = 0; i < 8; ++i)
            put((b >> (8 * i)) & 0xFF, 8);
    }
    BitReader reader(Release r = Release::R2000) const {
        return BitReader(m_bytes.data(), m_bytes.size(), r);
    }
    std::string m_bytes;

private:
    size_t m_bit = 0;
};

// The object as stored before R2010: its size (MS) before it.
std::string framed(const std::string& body) {
    return std::string{char(body.size()), '\0'} + body;
}

// An object whose start gives where its handles begin: built once to learn
// its data's length in bits, then again with it.
template <typename Build> std::string objectOf(const Build& build) {
    size_t bits = 0;
    build(0, &bits);
    return framed(build(uint32_t(bits + (8 - bits % 8) % 8), &bits));
}

// An entity's start as stored before R2010: its type, where its handles
// start, its handle, no extended data or graphics, model space, no
// reactors, and the one bit that says no links (R13 to R2000) or no
// extension dictionary (R2004 on).
void entityStart(BitWriter& w, int type, uint32_t handleStart, int handle) {
    w.put(1, 2); // BS type: one byte
    w.bytes({type});
    for (int k = 0; k < 4; ++k) // RL, little-endian
        w.put((handleStart >> (8 * k)) & 0xFF, 8);
    w.bytes({0x01, handle});
    w.put(2, 2); // BS 0: no extended data
    w.put(0, 1); // no graphics
    w.put(2, 2); // model space
    w.put(2, 2); // BL 0 reactors
    w.put(1, 1);
}

// An R13 to R2000 entity's look after its start: a colour index, line type
// scale 1, line type and plot style ByLayer, visible, line weight ByLayer.
void r2000Look(BitWriter& w, int colour) {
    w.put(1, 2); // colour: one byte
    w.bytes({colour});
    w.put(1, 2);     // line type scale 1.0
    w.put(0, 2);     // line type ByLayer
    w.put(0, 2);     // plot style ByLayer
    w.put(2, 2);     // visible
    w.bytes({0x1D}); // line weight ByLayer
}

// An entity's start from R2010 on: its type as BOT, its handle 2A, no
// extended data or graphics, model space, no reactors or extension
// dictionary, green, and by layer in all else.
void entityStartFrom2010(BitWriter& w, int type, Release release) {
    w.put(0, 2); // BOT: one byte
    w.bytes({type});
    w.bytes({0x01, 0x2A}); // H: the object's handle 2A
    w.put(2, 2);           // BS 0: no extended data
    w.put(0, 1);           // no graphics
    w.put(2, 2);           // model space
    w.put(2, 2);           // BL 0 reactors
    w.put(1, 1);           // no extension dictionary
    if (release >= Release::R2013)
        w.put(0, 1); // no binary data of its own
    w.put(1, 2);     // ENC colour: one byte
    w.bytes({3});    // green
    w.put(1, 2);     // line type scale 1.0
    w.put(0, 2);     // line type ByLayer
    w.put(0, 2);     // plot style ByLayer
    w.put(0, 2);     // material ByLayer
    w.bytes({0});    // shadows
    w.put(0, 3);     // no visual styles
    w.put(2, 2);     // visible
    w.bytes({0x1D}); // line weight ByLayer
}

// Reads the common data and handles, then the entity's own.
bool decodeEntity(ObjectReader& o, const TableNames& names, Release release, GroupList& out,
                  EntityLinks& links) {
    o.readCommon(true);
    o.readCommonHandles();
    const TextConverter text(release, 30);
    EntityDecoder decoder(names, text);
    return decoder.decode(o, {}, false, out, links);
}

// Writes a multileader's fields of R2000 (no version, no R2010 fields).
struct MLeaderWriter {
    BitWriter w;
    void b(bool v) { w.put(v ? 1 : 0, 1); }
    void bs(int v) {
        if (v == 0)
            w.put(2, 2);
        else {
            w.put(1, 2);
            w.bytes({v});
        }
    }
    void bl(int32_t v) {
        if (v == 0) {
            w.put(2, 2);
        } else {
            w.put(0, 2);
            for (int k = 0; k < 4; ++k)
                w.put((uint32_t(v) >> (8 * k)) & 0xFF, 8);
        }
    }
    void bd(double v) {
        if (v == 0) {
            w.put(2, 2);
        } else if (v == 1) {
            w.put(1, 2);
        } else {
            w.put(0, 2);
            w.real(v);
        }
    }
    void pt(double x, double y, double z = 0) {
        bd(x);
        bd(y);
        bd(z);
    }
    void cmc() { w.put(2, 2); } // colour index 0
    // One leader root of one line through `points` (x, y pairs).
    void root(std::initializer_list<double> points, int32_t count = -1) {
        b(true);
        b(true);
        pt(5, 2);  // connection
        pt(-1, 0); // dogleg direction
        bl(0);     // breaks
        bl(0);     // index
        bd(2);     // dogleg length
        bl(1);     // lines
        bl(count >= 0 ? count : int32_t(points.size() / 2));
        for (auto it = points.begin(); it != points.end(); it += 2)
            pt(*it, *(it + 1));
        bl(0); // breaks
        bl(0); // line index
    }
};

} // namespace

class TestDwgBits : public QObject {
    Q_OBJECT
private slots:
    void numbersTakeTheirPrefixedForms() {
        BitWriter w;
        w.put(2, 2); // BS 0
        w.put(3, 2); // BS 256
        w.put(1, 2); // BS one byte
        w.bytes({200});
        w.put(0, 2); // BS two bytes, little-endian
        w.bytes({0x34, 0x12});
        w.put(1, 2); // BD 1.0
        w.put(2, 2); // BD 0.0
        w.put(0, 2); // BL four bytes
        w.bytes({0x78, 0x56, 0x34, 0x12});
        w.put(1, 1); // a lone bit, leaving the next values unaligned
        w.put(1, 2); // BL one byte
        w.bytes({7});
        BitReader r = w.reader();
        QCOMPARE(r.BS(), int16_t(0));
        QCOMPARE(r.BS(), int16_t(256));
        QCOMPARE(r.BS(), int16_t(200));
        QCOMPARE(r.BS(), int16_t(0x1234));
        QCOMPARE(r.BD(), 1.0);
        QCOMPARE(r.BD(), 0.0);
        QCOMPARE(r.BL(), int32_t(0x12345678));
        QVERIFY(r.B());
        QCOMPARE(r.BL(), int32_t(7));
    }

    void realsAndDefaults() {
        BitWriter w;
        double v = -12.5;
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        w.put(0, 2); // BD with eight bytes
        for (int i = 0; i < 8; ++i)
            w.put((bits >> (8 * i)) & 0xFF, 8);
        w.put(0, 2); // DD: the default
        w.put(1, 2); // DD: the low four bytes replaced
        const double base = 3.0;
        uint64_t b;
        std::memcpy(&b, &base, 8);
        const uint64_t changed = (b & ~0xFFFFFFFFull) | 0x1;
        for (int i = 0; i < 4; ++i)
            w.put((changed >> (8 * i)) & 0xFF, 8);
        w.put(1, 1); // BT in R2000: zero thickness
        w.put(1, 1); // BE in R2000: the Z axis
        BitReader r = w.reader();
        QCOMPARE(r.BD(), -12.5);
        QCOMPARE(r.DD(4.0), 4.0);
        double expected;
        std::memcpy(&expected, &changed, 8);
        QCOMPARE(r.DD(base), expected);
        QCOMPARE(r.BT(), 0.0);
        const Point3 e = r.BE();
        QVERIFY(e.x == 0 && e.y == 0 && e.z == 1);
    }

    void modularNumbers() {
        BitWriter w;
        w.bytes({0x82, 0x01});             // MC 130
        w.bytes({0xE9, 0x97, 0x4F});       // MCSigned: negative
        w.bytes({0x05});                   // MCSigned 5
        w.bytes({0x01, 0x80, 0x02, 0x00}); // MS: 1 | 2 << 15
        BitReader r = w.reader();
        QCOMPARE(r.MC(), uint32_t(130));
        QCOMPARE(r.MCSigned(), -int64_t(0x69 | 0x17 << 7 | 0x0F << 14));
        QCOMPARE(r.MCSigned(), int64_t(5));
        QCOMPARE(r.MS(), uint32_t(1 | 2 << 15));
    }

    void handlesResolveAgainstTheirBase() {
        BitWriter w;
        w.bytes({0x52, 0x01, 0x2C}); // code 5, absolute 0x12C
        w.bytes({0x60});             // code 6: base + 1
        w.bytes({0x80});             // code 8: base - 1
        w.bytes({0xA1, 0x10});       // code 0xA: base + 0x10
        w.bytes({0xC1, 0x03});       // code 0xC: base - 3
        BitReader r = w.reader();
        QCOMPARE(r.H(0x40).value, uint64_t(0x12C));
        QCOMPARE(r.H(0x40).value, uint64_t(0x41));
        QCOMPARE(r.H(0x40).value, uint64_t(0x3F));
        QCOMPARE(r.H(0x40).value, uint64_t(0x50));
        QCOMPARE(r.H(0x40).value, uint64_t(0x3D));
    }

    void textInBothForms() {
        BitWriter w;
        w.put(1, 2); // BS 3
        w.bytes({3, 'A', 'b', 0});
        w.put(1, 2); // BS 2: UTF-16 "é€"
        w.bytes({2, 0xE9, 0x00, 0xAC, 0x20});
        BitReader r = w.reader();
        QCOMPARE(r.TV(), std::string("Ab")); // the counted NUL dropped
        QCOMPARE(r.TU(), std::string("\xC3\xA9\xE2\x82\xAC"));
    }

    void colorsByRelease() {
        BitWriter w;
        w.put(1, 2); // CMC before R2004: an index
        w.bytes({5});
        BitReader old = w.reader(Release::R2000);
        QCOMPARE(old.CMC().index, 5);

        BitWriter t; // ENC from R2004 on: a true colour
        t.put(0, 2);
        t.bytes({0x00, 0x80});
        t.put(0, 2);
        t.bytes({0x33, 0x22, 0x11, 0xC2});
        BitReader r = t.reader(Release::R2004);
        const CmColor c = r.ENC();
        QCOMPARE(c.rgb, int64_t(0x112233));
    }

    void readsPastTheEndThrow() {
        BitWriter w;
        w.bytes({0x00}); // BS says two bytes follow, only six bits do
        BitReader r = w.reader();
        QVERIFY_THROWS_EXCEPTION(FormatError, r.BS());
        BitWriter s;
        s.put(1, 2);
        s.bytes({200}); // a text of 200 characters in two bytes
        BitReader t = s.reader();
        QVERIFY_THROWS_EXCEPTION(FormatError, t.TV());
        BitReader limited = s.reader();
        limited.setLimit(4);
        QVERIFY_THROWS_EXCEPTION(FormatError, limited.RC());
        QVERIFY_THROWS_EXCEPTION(FormatError, limited.seek(5));
        QVERIFY_THROWS_EXCEPTION(FormatError, limited.setLimit(1000));
        BitWriter h;
        h.bytes({0x4F}); // a handle of fifteen bytes
        BitReader hr = h.reader();
        QVERIFY_THROWS_EXCEPTION(FormatError, hr.H());
    }

    // An R2000 LINE object: framing, common entity data, its own fields and
    // the handle stream, decoded into the groups of its DXF form.
    void aLineObjectBecomesItsDxfGroups() {
        auto build = [](uint32_t handleStart, size_t* dataBits) {
            BitWriter w;
            entityStart(w, 0x13, handleStart, 0x2A);
            r2000Look(w, 1);
            w.put(1, 1); // flat
            w.real(1.5); // x1
            w.put(3, 2); // x2 in full
            w.real(4.0);
            w.real(-2.0); // y1
            w.put(0, 2);  // y2 = y1
            w.put(1, 1);  // no thickness
            w.put(1, 1);  // the Z axis
            *dataBits = w.bits();
            while (w.bits() % 8)
                w.put(0, 1);
            w.bytes({0x30});       // the extension dictionary: none
            w.bytes({0x51, 0x10}); // the layer, handle 10
            return w.m_bytes;
        };
        size_t bits = 0;
        build(0, &bits);
        const std::string body = build(uint32_t(bits + (8 - bits % 8) % 8), &bits);
        const std::string object = framed(body);

        ObjectReader o(object.data(), object.size(), 0, Release::R2000);
        QCOMPARE(o.type(), int(kLine));
        TableNames names;
        names.layers[0x10] = "Walls";
        GroupList out;
        EntityLinks links;
        QVERIFY(decodeEntity(o, names, Release::R2000, out, links));
        QCOMPARE(o.head.handle, uint64_t(0x2A));
        QCOMPARE(o.head.layer, uint64_t(0x10));
        auto find = [&](int code) -> const dv::dxf::Group* {
            for (const dv::dxf::Group& g : out.groups())
                if (g.code == code)
                    return &g;
            return nullptr;
        };
        QCOMPARE(out[0].value, std::string_view("LINE"));
        QCOMPARE(find(5)->value, std::string_view("2A"));
        QCOMPARE(find(8)->value, std::string_view("Walls"));
        QCOMPARE(find(62)->number, 1.0);
        QCOMPARE(find(10)->number, 1.5);
        QCOMPARE(find(11)->number, 4.0);
        QCOMPARE(find(20)->number, -2.0);
        QCOMPARE(find(21)->number, -2.0);
        QVERIFY(!find(370)); // ByLayer is left out, as DXF does
    }

    // A light polyline stores all points, then all bulges, then all widths;
    // its groups come per vertex, with the bulges and widths it lacks as 0.
    // A vertex count the object cannot hold is refused before any room.
    void aLightPolylineGroupsItsDataByVertex() {
        auto build = [](uint32_t handleStart, size_t* dataBits, int vertices) {
            BitWriter w;
            entityStart(w, kLwPolyline, handleStart, 0x2B);
            r2000Look(w, 1);
            w.put(1, 2); // BS flags: bulges and widths
            w.bytes({16 | 32});
            w.put(1, 2); // BL vertices
            w.bytes({vertices});
            w.put(1, 2); // BL two bulges: the last vertex has none
            w.bytes({2});
            w.put(1, 2); // BL three widths
            w.bytes({3});
            w.real(1.5); // the first point in full
            w.real(-2.0);
            w.put(0, 2); // x as before
            w.put(3, 2); // y in full
            w.real(7.0);
            w.put(3, 2); // x in full
            w.real(9.0);
            w.put(0, 2); // y as before
            w.put(0, 2); // bulge 0.5
            w.real(0.5);
            w.put(1, 2); // bulge 1
            for (double v : {1.0, 0.0, 0.0, 1.0, 0.25, 0.75}) {
                if (v == 0)
                    w.put(2, 2);
                else if (v == 1)
                    w.put(1, 2);
                else {
                    w.put(0, 2);
                    w.real(v);
                }
            }
            *dataBits = w.bits();
            while (w.bits() % 8)
                w.put(0, 1);
            w.bytes({0x30});       // the extension dictionary: none
            w.bytes({0x51, 0x10}); // the layer, handle 10
            return w.m_bytes;
        };
        auto decoded = [&](int vertices, GroupList& out) {
            const std::string object = objectOf(
                [&](uint32_t start, size_t* bits) { return build(start, bits, vertices); });
            ObjectReader o(object.data(), object.size(), 0, Release::R2000);
            EntityLinks links;
            return o.type() == kLwPolyline &&
                   decodeEntity(o, TableNames(), Release::R2000, out, links);
        };
        GroupList out;
        QVERIFY(decoded(3, out));
        size_t at = 0;
        while (at < out.size() && out[at].code != 90)
            ++at;
        QVERIFY(at + 2 + 15 <= out.size());
        QCOMPARE(out[at].number, 3.0);
        const std::pair<int, double> expected[] = {{10, 1.5},  {20, -2.0}, {40, 1.0}, {41, 0.0},
                                                   {42, 0.5},  {10, 1.5},  {20, 7.0}, {40, 0.0},
                                                   {41, 1.0},  {42, 1.0},  {10, 9.0}, {20, 7.0},
                                                   {40, 0.25}, {41, 0.75}, {42, 0.0}};
        for (size_t i = 0; i < std::size(expected); ++i) {
            const dv::dxf::Group& g = out[at + 2 + i];
            QCOMPARE(int(g.code), expected[i].first);
            QVERIFY(g.isNumber && g.isReal);
            QCOMPARE(g.number, expected[i].second);
        }

        GroupList tooMany;
        QVERIFY_THROWS_EXCEPTION(FormatError, decoded(200, tooMany));
    }

    // From R2007 on texts lie at the end of the data, found through the
    // presence flag and size stored backwards from its end.
    void textsComeFromTheirOwnStream() {
        auto build = [](bool longSize, size_t* end) {
            BitWriter w;
            w.put(1, 2); // BS 7, in the data
            w.bytes({7});
            const size_t strings = w.bits();
            w.put(1, 2); // TU "Ab"
            w.bytes({2, 'A', 0, 'b', 0});
            w.put(2, 2); // TU ""
            const size_t size = w.bits() - strings;
            if (longSize) {
                w.bytes({0, 0}); // the high word
                w.bytes({int(size & 0xFF), int(0x80 | (size >> 8))});
            } else {
                w.bytes({int(size & 0xFF), int(size >> 8)});
            }
            w.put(1, 1); // texts present
            *end = w.bits();
            w.put(1, 2); // past the end: not data
            w.bytes({9});
            return w;
        };
        for (const bool longSize : {false, true}) {
            size_t end = 0;
            const BitWriter w = build(longSize, &end);
            BitReader r = w.reader(Release::R2010);
            const size_t dataEnd = r.useStringsEndingAt(end);
            QCOMPARE(dataEnd, size_t(10));
            QCOMPARE(r.T(), std::string("Ab"));
            QCOMPARE(r.BS(), int16_t(7));
            QCOMPARE(r.T(), std::string());
            QVERIFY_THROWS_EXCEPTION(FormatError, r.T()); // the stream is used up
        }
        BitWriter none;
        none.put(1, 2);
        none.bytes({7});
        none.put(0, 1); // no texts
        BitReader r = none.reader(Release::R2007);
        QCOMPARE(r.useStringsEndingAt(none.bits()), size_t(10));
        QCOMPARE(r.T(), std::string());
        QCOMPARE(r.BS(), int16_t(7));

        BitWriter big; // a size larger than the data before it
        big.bytes({0x00, 0x40});
        big.put(1, 1);
        BitReader b = big.reader(Release::R2010);
        QVERIFY_THROWS_EXCEPTION(FormatError, b.useStringsEndingAt(big.bits()));
        QVERIFY_THROWS_EXCEPTION(FormatError, b.useStringsEndingAt(big.bits() + 8));
    }

    // The R2010 framing: the handle data's size after the object's, the
    // type as BOT, no bit size; handles follow the data at once.
    void anR2010LineObjectBecomesItsDxfGroups() {
        BitWriter w;
        entityStartFrom2010(w, 0x13, Release::R2010);
        w.put(1, 1); // flat
        w.real(2.5); // x1
        w.put(0, 2); // x2 = x1
        w.real(1.0); // y1
        w.put(3, 2); // y2 in full
        w.real(6.0);
        w.put(1, 1); // no thickness
        w.put(1, 1); // the Z axis
        w.put(0, 1); // no texts
        const size_t handlesAt = w.bits();
        w.bytes({0x51, 0x10}); // the layer, handle 10
        while (w.bits() % 8)
            w.put(0, 1);
        const size_t handleBits = w.bits() - handlesAt;
        std::string object;
        object.push_back(char(w.m_bytes.size()));
        object.push_back('\0');
        object.push_back(char(handleBits)); // MC
        object += w.m_bytes;

        ObjectReader o(object.data(), object.size(), 0, Release::R2010);
        QCOMPARE(o.type(), int(kLine));
        TableNames names;
        names.layers[0x10] = "Roads";
        GroupList out;
        EntityLinks links;
        QVERIFY(decodeEntity(o, names, Release::R2010, out, links));
        QCOMPARE(o.head.handle, uint64_t(0x2A));
        QCOMPARE(o.head.layer, uint64_t(0x10));
        std::map<int, const dv::dxf::Group*> by;
        for (const dv::dxf::Group& g : out.groups())
            by.emplace(g.code, &g);
        QCOMPARE(by.at(8)->value, std::string_view("Roads"));
        QCOMPARE(by.at(62)->number, 3.0);
        QCOMPARE(by.at(10)->number, 2.5);
        QCOMPARE(by.at(11)->number, 2.5);
        QCOMPARE(by.at(21)->number, 6.0);

        // A handle data size larger than the object is an error, not a read
        // elsewhere.
        std::string bad = object;
        bad[2] = char(0xFF); // MC: 16383 bits
        bad.insert(3, 1, char(0x7F));
        QVERIFY_THROWS_EXCEPTION(FormatError,
                                 ObjectReader(bad.data(), bad.size(), 0, Release::R2010));
    }

    // From R2018 a multi-line attribute embeds its text as an MTEXT before its
    // tag. Where that text is as laid out, the tag and flags after it read;
    // where it is not, the attribute still keeps its value.
    void aMultiLineAttributeReadsPastItsEmbeddedText() {
        auto build = [](int attach, double x) {
            MLeaderWriter f;
            BitWriter& w = f.w;
            entityStartFrom2010(w, kAttrib, Release::R2018);
            w.bytes({0xFF}); // the text's optional fields all left out
            w.real(4.0);     // insertion
            w.real(6.0);
            w.put(1, 1);  // the Z axis
            w.put(1, 1);  // no thickness
            w.real(2.5);  // height
            w.bytes({0}); // version
            w.bytes({2}); // a multi-line attribute
            f.pt(x, 6);   // the embedded text: insertion, extrusion, X axis
            f.pt(0, 0, 1);
            f.pt(1, 0, 0);
            f.bd(40); // box width and height
            f.bd(5);
            f.bd(2.5);    // text height
            f.bs(attach); // attachment
            f.bs(1);      // left to right
            f.bd(0);      // extents
            f.bd(0);
            f.bs(1); // line spacing: at least
            f.bd(1);
            f.b(false);
            f.bl(0);         // no background
            f.bs(0);         // no annotative data
            f.bs(0);         // field length
            w.bytes({0x01}); // flags: invisible
            const size_t strings = w.bits();
            for (const char* t : {"Line 1", "Line 1\\PLine 2", "OWNER"}) {
                f.bs(int(std::strlen(t)));
                for (const char* c = t; *c; ++c)
                    w.bytes({*c, 0});
            }
            const size_t size = w.bits() - strings;
            w.bytes({int(size & 0xFF), int(size >> 8)});
            w.put(1, 1); // texts present
            const size_t handlesAt = w.bits();
            w.bytes({0x51, 0x10}); // the layer, handle 10
            w.bytes({0x51, 0x20}); // the text style, handle 20
            while (w.bits() % 8)
                w.put(0, 1);
            std::string object;
            object.push_back(char(w.m_bytes.size()));
            object.push_back('\0');
            object.push_back(char(w.bits() - handlesAt)); // MC
            return object + w.m_bytes;
        };
        TableNames names;
        names.styles[0x20] = "Notes";
        // The embedded text as stored; with an attachment no text has; far
        // from where the attribute is.
        for (const auto& [attach, x] : {std::pair{1, 4.0}, {0, 4.0}, {1, 4e6}}) {
            const std::string object = build(attach, x);
            ObjectReader o(object.data(), object.size(), 0, Release::R2018);
            GroupList out;
            EntityLinks links;
            QVERIFY(decodeEntity(o, names, Release::R2018, out, links));
            std::multimap<int, const dv::dxf::Group*> by;
            for (const dv::dxf::Group& g : out.groups())
                by.emplace(g.code, &g);
            QCOMPARE(by.find(1)->second->value, std::string_view("Line 1"));
            QCOMPARE(by.find(7)->second->value, std::string_view("Notes"));
            QCOMPARE(by.find(40)->second->number, 2.5);
            if (attach == 1 && x == 4.0) {
                QCOMPARE(by.find(2)->second->value, std::string_view("OWNER"));
                QCOMPARE(by.find(70)->second->number, 1.0);
                QCOMPARE(by.count(101), size_t(1));
                QCOMPARE(by.count(1), size_t(2));
                QCOMPARE(std::prev(by.upper_bound(1))->second->value,
                         std::string_view("Line 1\\PLine 2"));
                QCOMPARE(std::prev(by.upper_bound(41))->second->number, 40.0);
            } else {
                // What follows such a text is not trusted.
                QCOMPARE(by.find(2)->second->value, std::string_view());
                QCOMPARE(by.find(70)->second->number, 0.0);
                QCOMPARE(by.count(101), size_t(0));
            }
        }
        // Any one byte of it changed gives groups or the reader's error.
        const std::string sound = build(1, 4.0);
        int decoded = 0;
        for (size_t at = 3; at < sound.size(); ++at)
            for (const int flip : {0x01, 0x10, 0x80, 0xFF}) {
                std::string bad = sound;
                bad[at] = char(bad[at] ^ flip);
                try {
                    ObjectReader o(bad.data(), bad.size(), 0, Release::R2018);
                    GroupList out;
                    EntityLinks links;
                    decoded += decodeEntity(o, names, Release::R2018, out, links);
                } catch (const FormatError&) {
                }
            }
        QVERIFY(decoded > 0);
    }

    // An R2004 insert whose attributes are counted as the last of its data:
    // their handles lie in the handle data, which the count is checked against.
    void anInsertCountsItsAttributesAmongItsHandles() {
        auto build = [](uint32_t handleStart, size_t* dataBits) {
            BitWriter w;
            entityStart(w, kInsert, handleStart, 0x30);
            w.put(3, 2);     // ENC colour 256: ByLayer
            w.put(1, 2);     // line type scale 1.0
            w.put(0, 2);     // line type ByLayer
            w.put(0, 2);     // plot style ByLayer
            w.put(2, 2);     // visible
            w.bytes({0x1D}); // line weight ByLayer
            for (int k = 0; k < 3; ++k)
                w.put(2, 2); // insertion point 0,0,0
            w.put(3, 2);     // scale 1
            w.put(2, 2);     // rotation 0
            w.put(2, 2);     // extrusion 0,0,1
            w.put(2, 2);
            w.put(1, 2);
            w.put(1, 1); // attributes follow
            w.put(1, 2); // BL: one of them
            w.bytes({1});
            *dataBits = w.bits();
            w.bytes({0x51, 0x10}); // the layer
            w.bytes({0x51, 0x20}); // the block
            w.bytes({0x41, 0x31}); // the attribute
            w.bytes({0x31, 0x32}); // the sequence end
            return w.m_bytes;
        };
        size_t bits = 0;
        build(0, &bits);
        const std::string body = build(uint32_t(bits), &bits);
        const std::string object = framed(body);

        ObjectReader o(object.data(), object.size(), 0, Release::R2004);
        QCOMPARE(o.type(), int(kInsert));
        TableNames names;
        names.blocks[0x20] = "Door";
        GroupList out;
        EntityLinks links;
        QVERIFY(decodeEntity(o, names, Release::R2004, out, links));
        QVERIFY(links.hasFollowers);
        QCOMPARE(links.owned, std::vector<uint64_t>{0x31});
        QCOMPARE(links.seqEnd, uint64_t(0x32));
    }

    // An R2000 leader keeps its arrow's flag after the text box's size.
    void aLeaderKeepsItsArrowFlag() {
        auto build = [](uint32_t handleStart, size_t* dataBits, bool arrow) {
            BitWriter w;
            entityStart(w, kLeader, handleStart, 0x2B);
            r2000Look(w, 7);
            w.put(0, 1); // unknown bit
            w.put(1, 2); // annotation type 3: none
            w.bytes({3});
            w.put(2, 2); // straight
            w.put(1, 2); // BL: two points
            w.bytes({2});
            auto zero = [&] { w.put(2, 2); };
            auto real = [&](double v) {
                w.put(0, 2);
                w.real(v);
            };
            auto point = [&](double x, double y, double z) {
                for (double v : {x, y, z})
                    v == 0 ? zero() : v == 1 ? w.put(1, 2) : real(v);
            };
            point(0, 0, 0);
            point(4, 3, 0);
            point(0, 0, 0);             // the end projected
            point(0, 0, 1);             // extrusion
            point(1, 0, 0);             // X direction
            for (int i = 0; i < 6; ++i) // the two offsets
                zero();
            real(0.5); // box height
            zero();    // box width
            w.put(0, 1);
            w.put(arrow ? 1 : 0, 1);
            w.put(1, 2);
            w.bytes({8});
            w.put(0, 2);
            *dataBits = w.bits();
            while (w.bits() % 8)
                w.put(0, 1);
            w.bytes({0x30});       // no extension dictionary
            w.bytes({0x51, 0x10}); // the layer
            w.bytes({0x50});       // no annotation
            w.bytes({0x51, 0x12}); // the dimension style
            return w.m_bytes;
        };
        for (const bool arrow : {false, true}) {
            const std::string object =
                objectOf([&](uint32_t start, size_t* bits) { return build(start, bits, arrow); });
            ObjectReader o(object.data(), object.size(), 0, Release::R2000);
            GroupList out;
            EntityLinks links;
            QVERIFY(decodeEntity(o, TableNames{}, Release::R2000, out, links));
            std::map<int, double> numbers;
            for (const dv::dxf::Group& g : out.groups())
                if (g.isNumber)
                    numbers.emplace(g.code, g.number);
            QCOMPARE(numbers.at(71), arrow ? 1.0 : 0.0);
            QCOMPARE(numbers.at(40), 0.5);
            QCOMPARE(numbers.at(76), 2.0);
        }
    }

    // A pattern line's base point and offset become 43, 44 and 45, 46: a
    // second 53 would begin another line in the DXF form.
    void aHatchPatternLineKeepsItsCodes() {
        auto build = [](uint32_t handleStart, size_t* dataBits) {
            BitWriter w;
            entityStart(w, kHatch, handleStart, 0x2C);
            r2000Look(w, 3);
            auto real = [&](double v) {
                w.put(0, 2);
                w.real(v);
            };
            w.put(2, 2); // elevation 0
            w.put(2, 2); // extrusion 0,0,1
            w.put(2, 2);
            w.put(1, 2);
            w.put(1, 2); // TV "P": one byte long
            w.bytes({1, 'P'});
            w.put(0, 1); // patterned
            w.put(0, 1); // not associative
            w.put(1, 2); // one path
            w.bytes({1});
            w.put(1, 2); // a polyline path
            w.bytes({2});
            w.put(0, 1); // no bulges
            w.put(1, 1); // closed
            w.put(1, 2); // three vertices
            w.bytes({3});
            for (double v : {0.0, 0.0, 10.0, 0.0, 0.0, 10.0})
                w.real(v);
            w.put(2, 2); // no boundary objects
            w.put(2, 2); // style 0
            w.put(1, 2); // pattern type 1
            w.bytes({1});
            w.put(2, 2); // angle 0
            w.put(1, 2); // scale 1
            w.put(0, 1); // not doubled
            w.put(1, 2); // one line
            w.bytes({1});
            real(std::numbers::pi / 4);
            real(2);
            real(3); // base
            real(-0.5);
            real(0.5);   // offset
            w.put(2, 2); // no dashes
            *dataBits = w.bits();
            while (w.bits() % 8)
                w.put(0, 1);
            w.bytes({0x30});       // no extension dictionary
            w.bytes({0x51, 0x10}); // the layer
            return w.m_bytes;
        };
        size_t bits = 0;
        build(0, &bits);
        const std::string object = framed(build(uint32_t(bits + (8 - bits % 8) % 8), &bits));
        ObjectReader o(object.data(), object.size(), 0, Release::R2000);
        GroupList out;
        EntityLinks links;
        QVERIFY(decodeEntity(o, TableNames{}, Release::R2000, out, links));
        std::map<int, std::vector<double>> numbers;
        for (const dv::dxf::Group& g : out.groups())
            if (g.isNumber)
                numbers[g.code].push_back(g.number);
        QCOMPARE(numbers[53], std::vector<double>{45.0});
        QCOMPARE(numbers[43], std::vector<double>{2.0});
        QCOMPARE(numbers[44], std::vector<double>{3.0});
        QCOMPARE(numbers[45], std::vector<double>{-0.5});
        QCOMPARE(numbers[46], std::vector<double>{0.5});
    }

    // A multileader with a block for content: the leader's lines sit in the
    // scopes the DXF form has, and the block's handle and placement follow.
    void aMultileaderBecomesItsDxfScopes() {
        MLeaderWriter m;
        m.bl(1); // leader roots
        m.root({0, 0, 3, 1});
        m.bd(1);    // scale
        m.pt(5, 2); // content base
        m.bd(0.18); // text height
        m.bd(0.25); // arrow size
        m.bd(0.09); // landing gap
        for (int i = 0; i < 4; ++i)
            m.bs(0);
        m.b(false); // no text
        m.b(true);  // a block
        m.pt(0, 0, 1);
        m.pt(7, 2); // location
        m.pt(2, 2, 1);
        m.bd(0.5); // rotation
        m.cmc();
        for (int i = 0; i < 16; ++i)
            m.bd(i % 5 == 0 ? 1 : 0);
        m.pt(0, 0);
        m.pt(1, 0);
        m.pt(0, 1);
        m.b(false);
        m.bl(0); // overrides
        m.bs(1); // straight
        m.cmc();
        m.bl(0);
        m.b(true);
        m.b(true);
        m.bd(2);
        m.bd(0.25);
        m.bs(3); // block content
        for (int i = 0; i < 4; ++i)
            m.bs(0);
        m.cmc();
        m.b(false);
        m.cmc();
        m.pt(1, 1, 1);
        m.bd(0);
        m.bs(0);
        BitWriter h;
        h.bytes({0x51, 0x14});                   // the context's block
        h.bytes({0x51, 0x20, 0x51, 0x21, 0x50}); // style, line type, no arrow
        h.bytes({0x51, 0x11, 0x51, 0x14});       // text style, the block again
        BitReader data = m.w.reader(), handles = h.reader();
        GroupList out;
        decodeMLeader(data, handles, 0x40, TextConverter(Release::R2000, 30), out);

        std::vector<std::string> scopes;
        std::map<int, double> numbers;
        std::map<int, std::string> texts;
        std::vector<double> lineXs;
        for (const dv::dxf::Group& g : out.groups()) {
            if (g.code >= 300 && g.code <= 305) {
                scopes.emplace_back(g.value);
                continue;
            }
            if (!scopes.empty() && scopes.back() == "LEADER_LINE{" && g.code == 10)
                lineXs.push_back(g.number);
            if (g.isNumber)
                numbers.emplace(g.code, g.number);
            else
                texts.emplace(g.code, std::string(g.value));
        }
        const std::vector<std::string> expected{
            "CONTEXT_DATA{", "LEADER{", "LEADER_LINE{", "}", "}", "}"};
        QCOMPARE(scopes, expected);
        QCOMPARE(lineXs, (std::vector<double>{0, 3}));
        QCOMPARE(texts.at(341), std::string("14"));
        QCOMPARE(texts.at(344), std::string("14"));
        QCOMPARE(texts.at(340), std::string("20"));
        QVERIFY(!texts.count(342));
        QCOMPARE(numbers.at(15), 7.0);
        QCOMPARE(numbers.at(16), 2.0);
        QCOMPARE(numbers.at(46), 0.5);
        QCOMPARE(numbers.at(140), 0.25);
        QCOMPARE(numbers.at(172), 3.0);
        QCOMPARE(data.bitsLeft(), m.w.m_bytes.size() * 8 - m.w.bits());
    }

    // Counts of leader roots and of a line's points are checked against the
    // data before they size anything, and the error names the count.
    void aMultileaderWithImpossibleCountsThrows() {
        MLeaderWriter roots;
        roots.bl(1 << 30);
        MLeaderWriter points;
        points.bl(1);
        points.root({}, 1 << 28);
        const std::pair<MLeaderWriter*, const char*> cases[] = {{&roots, "leader roots"},
                                                                {&points, "leader line points"}};
        for (const auto& [m, what] : cases) {
            BitReader data = m->w.reader(), handles = m->w.reader();
            GroupList out;
            std::string message;
            try {
                decodeMLeader(data, handles, 0x40, TextConverter(Release::R2000, 30), out);
            } catch (const FormatError& e) {
                message = e.what();
            }
            QVERIFY2(message.find(what) != std::string::npos, message.c_str());
        }
    }

    void crcMatchesTheStandardCheckValue() {
        // CRC-16/ARC of "123456789".
        QCOMPARE(crc16(0, "123456789", 9), uint16_t(0xBB3D));
    }
};

QTEST_GUILESS_MAIN(TestDwgBits)
#include "test_dwg_bits.moc"
