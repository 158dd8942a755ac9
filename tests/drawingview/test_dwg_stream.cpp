// The group stream a DWG drawing is read through: lists that take in runs of
// other lists by reference, the cursor that walks those runs, and the bit
// reader's wide reads that feed them.

#include "formats/Reader.h"
#include "formats/dwg/DwgBitReader.h"
#include "formats/dwg/DwgGroups.h"
#include "formats/dwg/DwgMaps.h"
#include "formats/dwg/DwgObject.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

    // A line in the middle of a real drawing whose size field is wrecked is
    // left out, counted as damaged; every entity around it still loads.
    void aDamagedObjectMidStreamLeavesTheRest() {
        QFile f(QDir(QStringLiteral(SHARED_DWG_DIR)).filePath("example_2000.dwg"));
        if (!f.open(QIODevice::ReadOnly))
            QSKIP("the shared DWG samples (../shared/dwg) are not here");
        const QByteArray all = f.readAll();
        Sections s = readR13Container(all.constData(), size_t(all.size()));
        const std::map<uint64_t, uint64_t> map = readObjectMap(s);
        std::vector<uint64_t> lines;
        for (const auto& [handle, offset] : map)
            if (ObjectReader(s.objects.constData(), size_t(s.objects.size()), offset, s.release)
                    .type() == kLine)
                lines.push_back(offset);
        QVERIFY(lines.size() >= 3);
        // Before R2004 object offsets count from the file's start.
        QByteArray damaged = all;
        const qsizetype at = qsizetype(lines[lines.size() / 2]);
        for (int i = 0; i < 4; ++i)
            damaged[at + i] = char(i == 3 ? 0x7f : 0xff);

        QTemporaryDir dir;
        const QString good = dir.filePath("good.dwg"), bad = dir.filePath("bad.dwg");
        for (const auto& [path, bytes] : {std::pair{good, all}, std::pair{bad, damaged}}) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        }
        const auto whole = ReaderRegistry::builtin().load(good);
        const auto hurt = ReaderRegistry::builtin().load(bad);
        QCOMPARE(entityCount(*hurt), entityCount(*whole) - 1);
        QCOMPARE(damagedObjects(*hurt), damagedObjects(*whole) + 1);
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
};

QTEST_GUILESS_MAIN(TestDwgStream)
#include "test_dwg_stream.moc"
