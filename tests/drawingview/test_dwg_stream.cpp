// The group stream a DWG drawing is read through: lists that take in runs of
// other lists by reference, the cursor that walks those runs, and the bit
// reader's wide reads that feed them.

#include "formats/Reader.h"
#include "formats/dwg/DwgBitReader.h"
#include "formats/dwg/DwgGroups.h"
#include "formats/dwg/DwgHeader.h"
#include "formats/dwg/DwgMaps.h"
#include "formats/dwg/DwgObject.h"
#include "formats/dwg/DwgXData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace dv;
using namespace dv::dwg;

namespace {

// Each group of the stream as "code=value".
std::vector<std::string> readAll(const GroupList& list) {
    dxf::Cursor cursor(list.ranges());
    std::vector<std::string> out;
    while (cursor.advance()) {
        const dxf::Group& g = cursor.group();
        out.push_back(std::to_string(g.code) + "=" +
                      (g.isNumber ? std::to_string(int64_t(g.number)) : std::string(g.value)));
        if (cursor.position() > cursor.size())
            out.push_back("position past size");
    }
    return out;
}

// Extended data items as a DWG stores them, byte-aligned: a kind byte, then
// the value with its numbers least significant byte first.
struct ItemBytes {
    std::string bytes;
    template <typename T> void raw(T v) {
        for (size_t i = 0; i < sizeof v; ++i)
            bytes.push_back(char((uint64_t(v) >> (8 * i)) & 0xff));
    }
    ItemBytes& kind(int k) {
        bytes.push_back(char(k));
        return *this;
    }
    ItemBytes& text(const std::string& s) {
        kind(0).bytes.push_back(char(s.size()));
        raw(uint16_t(30));
        bytes += s;
        return *this;
    }
    ItemBytes& control(bool close) {
        kind(2).bytes.push_back(close ? 1 : 0);
        return *this;
    }
    ItemBytes& i16(int16_t v) {
        kind(70).raw(v);
        return *this;
    }
    ItemBytes& i32(int32_t v) {
        kind(71).raw(v);
        return *this;
    }
    ItemBytes& real(int k, double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        kind(k).raw(bits);
        return *this;
    }
    ItemBytes& point(int k, double x, double y, double z) {
        kind(k);
        for (double v : {x, y, z}) {
            uint64_t bits;
            std::memcpy(&bits, &v, 8);
            raw(bits);
        }
        return *this;
    }
    ItemBytes& ref(int k, uint64_t h) {
        kind(k);
        for (int i = 7; i >= 0; --i)
            bytes.push_back(char((h >> (8 * i)) & 0xff));
        return *this;
    }
    ItemBytes& binary(std::initializer_list<uint8_t> data) {
        kind(4).bytes.push_back(char(data.size()));
        for (uint8_t v : data)
            bytes.push_back(char(v));
        return *this;
    }
};

// A drawing and its damaged copy, each loaded from a file of its own.
std::pair<std::unique_ptr<Document>, std::unique_ptr<Document>> loadBoth(const QByteArray& good,
                                                                         const QByteArray& bad) {
    QTemporaryDir dir;
    std::unique_ptr<Document> docs[2];
    for (int i = 0; i < 2; ++i) {
        const QString path = dir.filePath(i ? "bad.dwg" : "good.dwg");
        QFile out(path);
        const QByteArray& bytes = i ? bad : good;
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return {};
        out.close();
        docs[i] = ReaderRegistry::builtin().load(path);
    }
    return {std::move(docs[0]), std::move(docs[1])};
}

long entityCount(const Document& doc) {
    long n = 0;
    for (const Block& b : doc.blocks)
        for (const auto& [type, count] : b.entityCounts)
            n += count;
    return n;
}

int damagedObjects(const Document& doc) {
    const auto it = doc.skippedEntities.find(QStringLiteral("damaged object"));
    return it == doc.skippedEntities.end() ? 0 : it->second;
}

// Where the LINE objects of an R13 to R2000 drawing start: from the file's
// start, as those releases count.
std::vector<uint64_t> lineOffsets(const QByteArray& file) {
    Sections s = readR13Container(file.constData(), size_t(file.size()));
    std::vector<uint64_t> lines;
    for (const auto& [handle, offset] : readObjectMap(s))
        if (ObjectReader(s.objects.constData(), size_t(s.objects.size()), offset, s.release)
                .type() == kLine)
            lines.push_back(offset);
    return lines;
}

} // namespace

class TestDwgStream : public QObject {
    Q_OBJECT

private slots:
    void runsOfOtherListsReadInOrder() {
        GroupList pool;
        pool.literal(0, "LINE");
        pool.integer(62, 1);
        pool.literal(0, "CIRCLE");
        pool.integer(62, 2);
        GroupList stream;
        stream.literal(0, "SECTION");
        stream.append(pool, 2, 4);
        stream.append(pool, 0, 0); // nothing
        stream.text(1, "between");
        stream.append(pool, 0, 2);
        stream.literal(0, "EOF");
        const std::vector<std::string> expected = {"0=SECTION", "0=CIRCLE", "62=2", "1=between",
                                                   "0=LINE",    "62=1",     "0=EOF"};
        QCOMPARE(readAll(stream), expected);
        dxf::Cursor cursor(stream.ranges());
        QCOMPARE(cursor.size(), size_t(7));
        // Neighbouring runs of one list are one run.
        GroupList joined;
        joined.append(pool, 0, 2);
        joined.append(pool, 2, 4);
        QCOMPARE(joined.ranges().size(), size_t(1));
        QCOMPARE(readAll(joined).size(), size_t(4));
    }

    void anEmptyStreamEndsAtOnce() {
        GroupList empty;
        dxf::Cursor cursor(empty.ranges());
        QCOMPARE(cursor.size(), size_t(0));
        QVERIFY(!cursor.advance());
        QVERIFY(cursor.atEnd());
    }

    // An object that fails halfway is cut from its list, and what was
    // appended after its first groups goes with it; the rest stay.
    void truncateDropsAPartlyDecodedObject() {
        GroupList other;
        other.literal(0, "ARC");
        GroupList list;
        list.literal(0, "LINE");
        const size_t mark = list.size();
        list.literal(0, "TEXT");
        list.append(other, 0, 1);
        list.integer(70, 3);
        list.truncate(mark);
        list.literal(0, "POINT");
        QCOMPARE(readAll(list), (std::vector<std::string>{"0=LINE", "0=POINT"}));
        // A mark at the end keeps everything.
        list.truncate(list.size());
        QCOMPARE(readAll(list).size(), size_t(2));
    }

    void textsOutliveLaterTexts() {
        GroupList list;
        // More than one arena block, and a text larger than a block.
        const std::string big(200 * 1024, 'x');
        for (int i = 0; i < 20000; ++i)
            list.text(1, "text " + std::to_string(i));
        list.text(1, big);
        list.handle(5, 0x1A2B);
        QCOMPARE(std::string(list[0].value), std::string("text 0"));
        QCOMPARE(std::string(list[19999].value), std::string("text 19999"));
        QCOMPARE(list[20000].value.size(), big.size());
        QCOMPARE(std::string(list[20001].value), std::string("1A2B"));
    }

    // The units come from the file header's fifth section; where that one
    // points outside the file, the drawing loads all the same, without them.
    void aTemplateOutsideTheFileCostsOnlyTheUnits() {
        QFile f(QDir(QStringLiteral(SHARED_DWG_DIR)).filePath("example_r14.dwg"));
        if (!f.open(QIODevice::ReadOnly))
            QSKIP("the shared DWG samples (../shared/dwg) are not here");
        const QByteArray all = f.readAll();
        QCOMPARE(readMeasurement(readR13Container(all.constData(), size_t(all.size())).templ,
                                 Release::R14),
                 1);
        QByteArray damaged = all;
        const qsizetype count = qsizetype(uint8_t(all[0x15]));
        qsizetype record = -1;
        for (qsizetype i = 0; i < count; ++i)
            if (all[0x19 + i * 9] == 4)
                record = 0x19 + i * 9;
        QVERIFY(record > 0);
        for (int i = 1; i <= 4; ++i)
            damaged[record + i] = char(0x7f); // the section's start, far past the end
        const Sections s = readR13Container(damaged.constData(), size_t(damaged.size()));
        QVERIFY(s.templ.isEmpty());
        QVERIFY(std::any_of(s.problems.begin(), s.problems.end(), [](const std::string& p) {
            return p.find("template") != std::string::npos;
        }));
        const auto [whole, hurt] = loadBoth(all, damaged);
        QVERIFY(whole && hurt);
        QCOMPARE(whole->header.at(QStringLiteral("$MEASUREMENT")), QStringLiteral("1"));
        QVERIFY(!hurt->header.count(QStringLiteral("$MEASUREMENT")));
        QCOMPARE(entityCount(*hurt), entityCount(*whole));
    }

    // A line in the middle of a real drawing whose size field is wrecked is
    // left out, counted as damaged; every entity around it still loads.
    void aDamagedObjectMidStreamLeavesTheRest() {
        QFile f(QDir(QStringLiteral(SHARED_DWG_DIR)).filePath("example_2000.dwg"));
        if (!f.open(QIODevice::ReadOnly))
            QSKIP("the shared DWG samples (../shared/dwg) are not here");
        const QByteArray all = f.readAll();
        const std::vector<uint64_t> lines = lineOffsets(all);
        QVERIFY(lines.size() >= 3);
        QByteArray damaged = all;
        const qsizetype at = qsizetype(lines[lines.size() / 2]);
        for (int i = 0; i < 4; ++i)
            damaged[at + i] = char(i == 3 ? 0x7f : 0xff);

        const auto [whole, hurt] = loadBoth(all, damaged);
        QVERIFY(whole && hurt);
        QCOMPARE(entityCount(*hurt), entityCount(*whole) - 1);
        QCOMPARE(damagedObjects(*hurt), damagedObjects(*whole) + 1);
    }

    // An entity whose data ends too soon is lost alone, wherever it falls
    // among the parts the entities are decoded in.
    void anEntityCutShortIsLostAlone() {
        QFile f(QDir(QStringLiteral(SHARED_DWG_DIR)).filePath("example_r13.dwg"));
        if (!f.open(QIODevice::ReadOnly))
            QSKIP("the shared DWG samples (../shared/dwg) are not here");
        const QByteArray all = f.readAll();
        const std::vector<uint64_t> lines = lineOffsets(all);
        QVERIFY(lines.size() >= 4);
        const auto damagedLines = [](const Document& d) {
            const auto it = d.skippedEntities.find(QStringLiteral("LINE (damaged)"));
            return it == d.skippedEntities.end() ? 0 : it->second;
        };
        for (const size_t pick : {size_t(0), lines.size() / 2, lines.size() - 1}) {
            // Its size says 4 bytes: the type still reads, the line does not.
            QByteArray cut = all;
            cut[qsizetype(lines[pick])] = 4;
            cut[qsizetype(lines[pick]) + 1] = 0;
            const auto [whole, hurt] = loadBoth(all, cut);
            QVERIFY(whole && hurt);
            QCOMPARE(entityCount(*hurt), entityCount(*whole) - 1);
            QCOMPARE(damagedLines(*hurt), damagedLines(*whole) + 1);
            QCOMPARE(hurt->layouts.size(), whole->layouts.size());
        }
    }

    // Fields at every bit offset, in the middle of the data and where fewer
    // than eight bytes are left, read as written.
    void wideReadsMatchBitByBitReads() {
        std::string bytes;
        uint32_t seed = 7;
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1103515245 + 12345;
            bytes.push_back(char(seed >> 16));
        }
        auto bitAt = [&](size_t bit) { return (uint8_t(bytes[bit / 8]) >> (7 - bit % 8)) & 1; };
        for (size_t offset = 0; offset < 8; ++offset) {
            for (size_t start :
                 {size_t(0), size_t(8), bytes.size() * 8 - 72, bytes.size() * 8 - 40}) {
                BitReader r(bytes.data(), bytes.size(), Release::R2000);
                r.seek(start + offset);
                size_t bit = start + offset;
                // RL: four bytes, least significant first.
                uint32_t expected = 0;
                for (int b = 0; b < 4; ++b) {
                    uint32_t byte = 0;
                    for (int i = 0; i < 8; ++i)
                        byte = (byte << 1) | bitAt(bit++);
                    expected |= byte << (8 * b);
                }
                QCOMPARE(uint32_t(r.RL()), expected);
                // Then single bytes up to the very end.
                while (bit + 8 <= bytes.size() * 8 && bit < start + offset + 96) {
                    uint32_t byte = 0;
                    for (int i = 0; i < 8; ++i)
                        byte = (byte << 1) | bitAt(bit++);
                    QCOMPARE(uint32_t(r.RC()), byte);
                }
            }
        }
    }

    // A reader over part of a larger buffer reads the part's bits alone,
    // though it may load the bytes after it a word at a time.
    void aWindowEndsAtItsOwnSize() {
        const std::string bytes = "\x12\x34\x56\x78\x9a\xbc\xde\xf0\x11\x22\x33\x44";
        BitReader r(bytes.data() + 1, 4, bytes.size() - 1, Release::R2000);
        QCOMPARE(uint32_t(r.RL()), 0x9a785634u);
        QVERIFY_THROWS_EXCEPTION(FormatError, r.RC());
        BitReader odd(bytes.data(), 3, bytes.size(), Release::R2000);
        odd.seek(3);
        QCOMPARE(uint32_t(uint16_t(odd.RS())), 0xa291u); // bits 3 to 18, low byte first
        QVERIFY_THROWS_EXCEPTION(FormatError, odd.RC());
    }

    // Parts of the map each count from handle 0 again; a handle given twice
    // takes its last place, and the map comes out by rising handle.
    void theObjectMapKeepsEachHandleOnceInOrder() {
        Sections s;
        s.objects = QByteArray(64, '\0');
        auto part = [](std::initializer_list<std::pair<int, int>> entries) {
            QByteArray p;
            for (const auto& [handle, offset] : entries)
                p.append(char(handle)).append(char(offset));
            const int size = int(p.size()) + 2;
            return QByteArray(1, char(size >> 8)) + QByteArray(1, char(size & 0xff)) + p +
                   QByteArray(2, '\0');
        };
        // Deltas: handles 3 and 5 at 10 and 30; then 1 at 5 and 3 again at 20.
        s.handles = part({{3, 10}, {2, 20}}) + part({{1, 5}, {2, 15}}) + QByteArray("\x00\x02", 2);
        const ObjectMap map = readObjectMap(s);
        const ObjectMap expected{{1, 5}, {3, 20}, {5, 30}};
        QVERIFY(map == expected);
    }

    // The template section: a description, then 0 (imperial) or 1 (metric).
    void theTemplateGivesTheUnits() {
        auto bytes = [](std::initializer_list<int> b) {
            QByteArray out;
            for (int v : b)
                out.append(char(v));
            return out;
        };
        QCOMPARE(readMeasurement(bytes({0, 0, 1, 0}), Release::R2000), 1);
        QCOMPARE(readMeasurement(bytes({3, 0, 'a', 'b', 'c', 0, 0}), Release::R2004), 0);
        // From R2007 on the description's characters take two bytes each.
        QCOMPARE(readMeasurement(bytes({1, 0, 0, 0, 1, 0}), Release::R2007), 1);
        QCOMPARE(readMeasurement(bytes({1, 0, 0, 0, 1, 0}), Release::R2004), -1);
        // Missing, cut short or out of range: not said.
        QCOMPARE(readMeasurement(QByteArray(), Release::R14), -1);
        QCOMPARE(readMeasurement(bytes({0, 0, 1}), Release::R14), -1);
        QCOMPARE(readMeasurement(bytes({0xff, 0xff, 1, 0}), Release::R2000), -1);
        QCOMPARE(readMeasurement(bytes({0, 0, 7, 0}), Release::R2000), -1);
    }

    // The program's view data of an R13 or R14 viewport, item by item, as
    // the groups an R12 DXF gives it.
    void extendedDataReadsAsItsDxfGroups() {
        ItemBytes b;
        b.text("MVIEW").control(false).i16(16);
        b.point(10, 1, 2, 0).point(10, 0, 0, 1);
        b.real(40, 0).real(40, 228.5).real(41, 133.25);
        b.ref(3, 0x2A).ref(3, 0x99); // a layer of the drawing, then none
        b.i32(-7).binary({0xAB, 0x01}).ref(5, 0x765).control(true);
        TableNames names;
        names.layers[0x2A] = "WALLS";
        const TextConverter text(Release::R14, 30);
        GroupList out;
        appendExtendedData(BitReader(b.bytes.data(), b.bytes.size(), Release::R14), "ACAD", names,
                           text, out);
        const std::vector<std::string> expected{
            "1001=ACAD", "1000=MVIEW", "1002={",  "1070=16",   "1010=1",   "1020=2",
            "1030=0",    "1010=0",     "1020=0",  "1030=1",    "1040=0",   "1040=228",
            "1041=133",  "1003=WALLS", "1071=-7", "1004=AB01", "1005=765", "1002=}"};
        QCOMPARE(readAll(out), expected);
        QCOMPARE(out[11].number, 228.5);
    }

    // The view data of an R14 window, decoded, gives the window that the
    // same data gives as R12 DXF groups: the second window of the R12
    // viewport fixture, with its layer frozen by reference.
    void extendedDataGivesTheViewportOfItsDxf() {
        QFile f(QStringLiteral(TEST_DATA_DIR "/dxf/viewports_r12.dxf"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.readAll();
        const qsizetype second = original.indexOf("VIEWPORT", original.indexOf("VIEWPORT") + 8);
        const qsizetype from = original.indexOf("1001\nACAD", second);
        const qsizetype to = original.indexOf("  0\n", from);
        QVERIFY(second > 0 && from > second && to > from);
        ItemBytes b;
        b.text("MVIEW").control(false).i16(16).point(10, 0, 0, 0).point(10, 0, 0, 1);
        for (double v : {0.0, 40.0, 15.0, 5.0, 50.0, 0.0, 0.0})
            b.real(40, v);
        for (int16_t v : {0, 100, 1, 3, 0, 0, 0, 0})
            b.i16(v);
        for (double v : {0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0})
            b.real(40, v);
        b.i16(0).control(false).ref(3, 0x4B).control(true).control(true);
        TableNames names;
        names.layers[0x4B] = "B";
        GroupList groups;
        appendExtendedData(BitReader(b.bytes.data(), b.bytes.size(), Release::R14), "ACAD", names,
                           TextConverter(Release::R14, 30), groups);
        QByteArray decoded;
        dxf::Cursor cursor(groups.ranges());
        while (cursor.advance()) {
            const dxf::Group& g = cursor.group();
            decoded += QByteArray::number(g.code) + '\n' +
                       (g.isNumber ? QByteArray::number(g.number, 'g', 17)
                                   : QByteArray(g.value.data(), qsizetype(g.value.size()))) +
                       '\n';
        }
        QByteArray rebuilt = original;
        rebuilt.replace(from, to - from, decoded);
        QVERIFY(rebuilt != original);
        QTemporaryDir dir;
        const QString path = dir.filePath("r14_view.dxf");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(rebuilt) == rebuilt.size());
        out.close();
        auto window = [](const Document& d) -> const Viewport* {
            for (const Layout& l : d.layouts)
                if (l.block >= 0)
                    for (const Viewport& v : d.blocks[size_t(l.block)].viewports)
                        return &v;
            return nullptr;
        };
        const auto want = ReaderRegistry::builtin().load(f.fileName());
        const auto got = ReaderRegistry::builtin().load(path);
        const Viewport* w = window(*want);
        const Viewport* g = window(*got);
        QVERIFY(w && g);
        QCOMPARE(g->viewHeight, 40.0);
        QCOMPARE(g->viewHeight, w->viewHeight);
        QCOMPARE(g->viewCenter.x, w->viewCenter.x);
        QCOMPARE(g->viewCenter.y, w->viewCenter.y);
        QCOMPARE(g->twist, w->twist);
        QCOMPARE(g->frozenLayers, std::vector<int32_t>{got->layerIndex("B")});
        QCOMPARE(g->frozenLayers.size(), w->frozenLayers.size());
    }

    // A string longer than what is left, or an item of no known kind, ends
    // the list where it stands; nothing past the data is read.
    void damagedExtendedDataStopsAtTheDamage() {
        const TableNames names;
        const TextConverter text(Release::R14, 30);
        ItemBytes cut;
        cut.i16(5);
        cut.bytes += std::string("\x00\xff\x1e\x00ab", 6); // 255 characters claimed, 2 there
        GroupList a;
        appendExtendedData(BitReader(cut.bytes.data(), cut.bytes.size(), Release::R14), "ACAD",
                           names, text, a);
        QCOMPARE(readAll(a), (std::vector<std::string>{"1001=ACAD", "1070=5"}));
        ItemBytes unknown;
        unknown.i16(1);
        unknown.bytes += std::string("\x63\x00\x00", 3);
        unknown.i16(2);
        GroupList c;
        appendExtendedData(BitReader(unknown.bytes.data(), unknown.bytes.size(), Release::R14),
                           "ACAD", names, text, c);
        QCOMPARE(readAll(c), (std::vector<std::string>{"1001=ACAD", "1070=1"}));
    }
};

QTEST_GUILESS_MAIN(TestDwgStream)
#include "test_dwg_stream.moc"
