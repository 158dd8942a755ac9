// The group stream a DWG drawing is read through: lists that take in runs of
// other lists by reference, the cursor that walks those runs, and the bit
// reader's wide reads that feed them.

#include "formats/dwg/DwgBitReader.h"
#include "formats/dwg/DwgGroups.h"

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
