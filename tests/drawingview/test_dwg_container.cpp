// The R2004-style DWG container: its LZ77 pages, masked headers, page and
// section maps, and the R2007 one: its Reed-Solomon blocks, own compression
// and maps; on crafted bytes and on the shared sample drawings, sound and
// damaged.

#include "formats/dwg/DwgBackCopy.h"
#include "formats/dwg/DwgBitReader.h"
#include "formats/dwg/DwgChecksum.h"
#include "formats/dwg/DwgContainer2004.h"
#include "formats/dwg/DwgLz2007.h"
#include "formats/dwg/DwgLz77.h"
#include "formats/dwg/DwgReedSolomon.h"
#include "formats/dwg/DwgSections.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <cstring>

using namespace dv::dwg;

namespace {

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out.append(static_cast<char>(b));
    return out;
}

QByteArray inflate(const QByteArray& stream, size_t size) {
    QByteArray out(static_cast<qsizetype>(size), '\0');
    decompressLz77(reinterpret_cast<const uint8_t*>(stream.constData()), stream.size(),
                   reinterpret_cast<uint8_t*>(out.data()), size);
    return out;
}

// A stream of literals alone; n must be 4 or more.
QByteArray literalStream(const QByteArray& data) {
    QByteArray s;
    const qsizetype n = data.size() - 3;
    if (n <= 0x0f) {
        s.append(static_cast<char>(n));
    } else {
        s.append('\0');
        qsizetype rest = n - 0x0f;
        for (; rest > 0xff; rest -= 0xff)
            s.append('\0');
        s.append(static_cast<char>(rest));
    }
    return s + data + bytes({0x11});
}

void putU32(QByteArray& b, qsizetype at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (8 * i));
}
QByteArray u32(uint32_t v) {
    QByteArray b(4, '\0');
    putU32(b, 0, v);
    return b;
}
QByteArray u64(uint64_t v) {
    return u32(static_cast<uint32_t>(v)) + u32(static_cast<uint32_t>(v >> 32));
}
QByteArray padded(QByteArray b) {
    while (b.size() % 0x20)
        b.append('\0');
    return b;
}
uint32_t checksum(uint32_t seed, const QByteArray& b) {
    return pageChecksum(seed, reinterpret_cast<const uint8_t*>(b.constData()), b.size());
}

QByteArray systemPage(uint32_t type, const QByteArray& content) {
    const QByteArray in = literalStream(content);
    QByteArray head = u32(type) + u32(content.size()) + u32(in.size()) + u32(2) + u32(0);
    putU32(head, 0x10, checksum(checksum(0, head), in));
    return padded(head + in);
}

struct FakeSection {
    std::string name;
    QByteArray data;
};

// An R2018 file: the section map and page map first, then one compressed
// page per section, whose page size is the section's size.
QByteArray buildFile(const std::vector<FakeSection>& sections) {
    const uint32_t dataPages = static_cast<uint32_t>(sections.size());
    const uint32_t sectionMapId = dataPages + 1, pageMapId = dataPages + 2;
    QByteArray sectionMap = u32(dataPages) + u32(2) + u32(0x7400) + u32(0) + u32(dataPages);
    std::vector<QByteArray> pages;
    for (uint32_t i = 0; i < dataPages; ++i) {
        const FakeSection& s = sections[i];
        const QByteArray in = literalStream(s.data);
        QByteArray name(64, '\0');
        std::memcpy(name.data(), s.name.data(), s.name.size());
        sectionMap += u64(s.data.size()) + u32(1) + u32(s.data.size()) + u32(1) + u32(2) +
                      u32(i + 1) + u32(0) + name + u32(i + 1) + u32(in.size()) + u64(0);
        QByteArray head = u32(0x4163043b) + u32(i + 1) + u32(in.size()) + u32(0) + u32(0) + u32(0) +
                          u32(0) + u32(checksum(0, in));
        putU32(head, 0x18, checksum(checksum(0, in), head));
        pages.push_back(padded(head + in));
    }
    const QByteArray sectionPage = systemPage(0x4163003b, sectionMap);
    // The page map's own size is known before its content: two words a page.
    const QByteArray mapPlaceholder = systemPage(0x41630e3b, QByteArray(8 * (dataPages + 2), 'x'));
    QByteArray pageMap =
        u32(sectionMapId) + u32(sectionPage.size()) + u32(pageMapId) + u32(mapPlaceholder.size());
    for (uint32_t i = 0; i < dataPages; ++i)
        pageMap += u32(i + 1) + u32(pages[i].size());
    const QByteArray pageMapPage = systemPage(0x41630e3b, pageMap);

    QByteArray file(0x100, '\0');
    std::memcpy(file.data(), "AC1032", 6);
    file[0x0b] = 3;
    file[0x13] = 30;
    QByteArray header = QByteArray("AcFssFcAJMB", 12) + QByteArray(0x44, '\0') + u32(pageMapId) +
                        u64(sectionPage.size()) + u32(sectionMapId) + QByteArray(8, '\0') + u32(0);
    putU32(header, 0x68, crc32Of(reinterpret_cast<const uint8_t*>(header.constData()), 0x6c));
    applyHeaderMask(reinterpret_cast<uint8_t*>(header.data()), header.size());
    file.replace(0x80, header.size(), header);
    file += sectionPage + pageMapPage;
    for (const QByteArray& p : pages)
        file += p;
    // Page headers are masked by where they lie, known only now.
    qsizetype at = 0x100 + sectionPage.size() + pageMapPage.size();
    for (const QByteArray& p : pages) {
        applyPageHeaderMask(reinterpret_cast<uint8_t*>(file.data() + at), at);
        at += p.size();
    }
    return file;
}

std::vector<FakeSection> fakeSections() {
    return {{"AcDb:Header", QByteArray("header variables")},
            {"AcDb:Classes", QByteArray("the classes")},
            {"AcDb:Handles", QByteArray(300, 'h')},
            {"AcDb:AcDbObjects", QByteArray("the objects, at last")}};
}

Sections read(const QByteArray& file) {
    return readR2004Container(file.constData(), file.size());
}

// The message of the FormatError that reading throws, or "" when it reads.
QString errorOf(const QByteArray& file) {
    try {
        read(file);
    } catch (const FormatError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

const QByteArray kHeaderSentinel = bytes({0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9, 0x5F,
                                          0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F});
const QByteArray kClassesSentinel = bytes({0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5, 0xC0,
                                           0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A});

// The object map is a run of parts, each with a big-endian size that counts
// itself, then a CRC; an empty part (size 2) ends it.
bool handlesWellFormed(const QByteArray& h) {
    qsizetype pos = 0;
    while (pos + 2 <= h.size()) {
        const int size = (static_cast<uint8_t>(h[pos]) << 8) | static_cast<uint8_t>(h[pos + 1]);
        if (size == 2)
            return true;
        if (size < 2)
            return false;
        pos += size + 2;
    }
    return false;
}

QByteArray inflate2007(const QByteArray& stream, size_t size) {
    QByteArray out(static_cast<qsizetype>(size), '\0');
    decompressLz2007(reinterpret_cast<const uint8_t*>(stream.constData()), stream.size(),
                     reinterpret_cast<uint8_t*>(out.data()), size);
    return out;
}

// Literals as an R2007 stream keeps them: the order that unshuffles to data.
// Runs up to 255 bytes.
QByteArray shuffled(const QByteArray& data) {
    const qsizetype n = data.size();
    QByteArray index(n, '\0'), order(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        index[i] = static_cast<char>(i);
    unshuffleLiterals(reinterpret_cast<const uint8_t*>(index.constData()), n,
                      reinterpret_cast<uint8_t*>(order.data()));
    QByteArray stored(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        stored[static_cast<uint8_t>(order[i])] = data[i];
    return stored;
}

// An R2007 stream that opens with a literal run of 8 to 255 bytes.
QByteArray literals2007(const QByteArray& data) {
    const qsizetype n = data.size();
    QByteArray s = n < 0x17 ? bytes({int(n - 8)}) : bytes({0x0f, int(n - 0x17)});
    return s + shuffled(data);
}

// Data bytes spread over interleaved 255-byte code words, parity left zero.
// As many code words as the data, rounded up to 8 bytes, needs.
QByteArray interleave(QByteArray data, size_t perBlock, size_t blocks = 0) {
    if (blocks == 0)
        blocks = ((data.size() + 7) / 8 * 8 + perBlock - 1) / perBlock;
    data.append(QByteArray(blocks * perBlock - data.size(), '\0'));
    QByteArray raw(blocks * 255, '\0');
    for (size_t b = 0; b < blocks; ++b)
        for (size_t i = 0; i < perBlock; ++i)
            raw[i * blocks + b] = data[b * perBlock + i];
    while (raw.size() % 8)
        raw.append('\0');
    return raw;
}

struct Fake2007Section {
    std::string name;
    QByteArray data;
    QByteArray stream;     // when set, the page holds this compressed form
    uint64_t declared = 0; // when set, the size the section map claims
};

QByteArray utf16(const std::string& s) {
    QByteArray out;
    for (char c : s)
        out += QByteArray(1, c) + QByteArray(1, '\0');
    return out + QByteArray(2, '\0');
}

// An R2007 file: page map, section map, then one page per section, every
// page Reed-Solomon coded; system pages and the header stored uncompressed.
QByteArray build2007File(const std::vector<Fake2007Section>& sections) {
    std::vector<QByteArray> dataPages;
    QByteArray sectionMap;
    for (size_t i = 0; i < sections.size(); ++i) {
        const Fake2007Section& s = sections[i];
        const QByteArray stored = s.stream.isEmpty() ? s.data : s.stream;
        dataPages.push_back(interleave(stored, 251));
        const QByteArray name = utf16(s.name);
        sectionMap += u64(s.declared ? s.declared : s.data.size()) + u64(s.data.size()) + u64(0) +
                      u64(0) + u64(name.size()) + u64(0) + u64(4) + u64(1) + name;
        sectionMap += u64(0) + u64(dataPages.back().size()) + u64(i + 3) + u64(s.data.size()) +
                      u64(stored.size()) + u64(0) + u64(0);
    }
    const uint64_t pageCount = 2 + sections.size();
    const QByteArray sectionPage = interleave(sectionMap, 239);
    const qsizetype pageMapSize = 16 * pageCount;
    const qsizetype pageMapPageSize = interleave(QByteArray(pageMapSize, '\0'), 239).size();
    QByteArray pageMap = u64(pageMapPageSize) + u64(1) + u64(sectionPage.size()) + u64(2);
    for (size_t i = 0; i < dataPages.size(); ++i)
        pageMap += u64(dataPages[i].size()) + u64(i + 3);

    std::vector<uint64_t> fields(34, 0);
    fields[0] = 0x70;
    fields[3] = 1; // page map correction
    fields[8] = 1;
    fields[10] = fields[11] = pageMap.size();
    fields[22] = fields[25] = sectionMap.size();
    fields[24] = 2;
    fields[27] = 1;
    QByteArray body = interleave(pageMap, 239) + sectionPage;
    for (const QByteArray& p : dataPages)
        body += p;
    fields[1] = 0x480 + body.size();
    QByteArray header = u64(0) + u64(0) + u64(0) + u32(uint32_t(-0x110)) + u32(0);
    for (uint64_t f : fields)
        header += u64(f);
    QByteArray file(0x80, '\0');
    std::memcpy(file.data(), "AC1021", 6);
    file[0x0b] = 2;
    file[0x13] = 30;
    file += interleave(header, 239, 3).left(3 * 255);
    file.append(QByteArray(0x480 - file.size(), '\0'));
    return file + body;
}

std::vector<Fake2007Section> fake2007Sections() {
    const QByteArray objects = QByteArray("0123456789abcdef") + QByteArray("0123456789abcde");
    // 16 literals, then 15 bytes copied from 16 back.
    return {{"AcDb:Header", QByteArray("header variables"), {}, 0},
            {"AcDb:Classes", QByteArray("the classes"), {}, 0},
            {"AcDb:Handles", QByteArray(600, 'h'), {}, 0},
            {"AcDb:AcDbObjects", objects, literals2007(objects.left(16)) + bytes({0xff, 0x00}), 0}};
}

Sections read2007(const QByteArray& file) {
    return readR2007Container(file.constData(), file.size());
}

QString error2007Of(const QByteArray& file) {
    try {
        read2007(file);
    } catch (const FormatError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

// A section that starts with a sentinel, then a size, its data and a CRC.
bool sectionCrcHolds(const QByteArray& s) {
    if (s.size() < 22)
        return false;
    uint32_t size;
    std::memcpy(&size, s.constData() + 16, 4);
    if (size > s.size() - 22)
        return false;
    uint16_t stored;
    std::memcpy(&stored, s.constData() + 20 + size, 2);
    return crc16(0xC0C1, s.constData() + 16, size + 4) == stored;
}

// Every part of the object map carries a CRC, and so does every object it
// places; they are what shows that pages decompressed right.
int badObjectCrcs(const Sections& s) {
    const QByteArray& m = s.handles;
    const auto* p = reinterpret_cast<const uint8_t*>(m.constData());
    int bad = 0;
    qsizetype pos = 0;
    while (pos + 2 <= m.size()) {
        const qsizetype part = (p[pos] << 8) | p[pos + 1];
        if (part <= 2 || part + 2 > m.size() - pos)
            break;
        if (crc16(0xC0C1, m.constData() + pos, part) !=
            uint16_t((p[pos + part] << 8) | p[pos + part + 1]))
            ++bad;
        BitReader r(m.constData() + pos + 2, part - 2, s.release);
        int64_t offset = 0;
        while (r.bitsLeft() >= 16) {
            r.MC();
            offset += r.MCSigned();
            const auto* o = reinterpret_cast<const uint8_t*>(s.objects.constData());
            const qsizetype n = s.objects.size();
            if (offset < 0 || offset + 4 > n) {
                ++bad;
                continue;
            }
            qsizetype at = offset, size = 0;
            for (int shift = 0;; shift += 15) {
                const uint16_t w = o[at] | (o[at + 1] << 8);
                at += 2;
                size |= qsizetype(w & 0x7fff) << shift;
                if (!(w & 0x8000) || at + 2 > n || shift > 30)
                    break;
            }
            if (size + 2 > n - at ||
                crc16(0xC0C1, s.objects.constData() + offset, at - offset + size) !=
                    uint16_t(o[at + size] | (o[at + size + 1] << 8)))
                ++bad;
        }
        pos += part + 2;
    }
    return bad;
}

QStringList sampleFiles() {
    const QDir root(QStringLiteral(SHARED_DWG_DIR));
    QStringList files;
    for (const char* dir : {"2004", "2010", "2013", "2018"})
        for (const QString& f : QDir(root.filePath(QLatin1String(dir)))
                                    .entryList({QStringLiteral("*.dwg")}, QDir::Files))
            files << root.filePath(QLatin1String(dir) + QLatin1Char('/') + f);
    // The larger drawings are saved in every release; these are the ones
    // this container holds.
    for (const char* release : {"2004", "2010", "2013", "2018"})
        for (const char* stem : {"example_", "sample_"}) {
            const QString f = root.filePath(QLatin1String(stem) + QLatin1String(release) + ".dwg");
            if (QFile::exists(f))
                files << f;
        }
    return files;
}

QByteArray slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Cut and scrambled copies of a sample either read or throw FormatError with
// a message, quickly; cuts lose the maps at the file's end.
void tortureCopies(const QString& path, Sections (*reader)(const QByteArray&)) {
    const QByteArray data = slurp(path);
    if (data.isEmpty())
        QSKIP("no sample drawings in " SHARED_DWG_DIR);
    QElapsedTimer timer;
    timer.start();
    int opened = 0, refused = 0;
    auto attempt = [&](const QByteArray& copy) {
        try {
            reader(copy);
            ++opened;
        } catch (const FormatError& e) {
            QVERIFY(std::strlen(e.what()) > 0);
            ++refused;
        }
    };
    for (qsizetype cut = 0; cut < data.size(); cut += data.size() / 97 + 1)
        attempt(data.left(cut));
    QRandomGenerator random(20261209);
    for (int i = 0; i < 400; ++i) {
        QByteArray copy = data;
        for (int k = 0; k < 1 + i % 4; ++k)
            copy[random.bounded(copy.size())] = static_cast<char>(random.bounded(256));
        attempt(copy);
    }
    QVERIFY(refused > 90);
    QVERIFY(opened > 0);
    QVERIFY2(timer.elapsed() < 20000, "damaged copies take too long");
}

} // namespace

class TestDwgContainer : public QObject {
    Q_OBJECT

private slots:
    void lz77Streams_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("short literal run")
            << bytes({0x03, 'a', 'b', 'c', 'd', 'e', 'f', 0x11}) << QByteArray("abcdef");
        QTest::newRow("long literal run")
            << literalStream(QByteArray(600, 'q')) << QByteArray(600, 'q');
        // 0x4C: three bytes from four back, then no literals.
        QTest::newRow("one-byte offset")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x4C, 0x00, 0x11}) << QByteArray("abcdabc");
        // 0x4D: the same copy, then one literal without a length byte.
        QTest::newRow("copy then its literal")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x4D, 0x00, 'z', 0x11}) << QByteArray("abcdabcz");
        // 0x26: eight bytes from one back, each copying the one before.
        QTest::newRow("overlapping copy")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x26, 0x00, 0x00, 0x11})
            << QByteArray("abcddddddddd");
        // 0x20 with a long count: 0x21 + 255 + 4 bytes from one back; then a
        // literal length byte (1 + 3 literals).
        QTest::newRow("long copy, then a literal run")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x20, 0x00, 0x04, 0x00, 0x00, 0x01, 'w', 'x', 'y',
                      'z', 0x11})
            << QByteArray("abcd") + QByteArray(0x21 + 255 + 4, 'd') + "wxyz";
        // 0x1A reaches 0x8000 back (four bytes); 0x18, with a long count,
        // copies 10 bytes from 0x8004 back.
        const QByteArray far =
            QByteArray("0123") + QByteArray(0x4000 - 4, '.') + QByteArray(0x4000, '-');
        QTest::newRow("far copies") << literalStream(far).chopped(1) +
                                           bytes({0x1A, 0x00, 0x00, 0x18, 0x01, 0x10, 0x00, 0x11})
                                    << far + "0123" + "0123" + QByteArray(6, '.');
    }
    void lz77Streams() {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, expected);
        QCOMPARE(inflate(stream, expected.size()), expected);
    }

    void lz77Damage_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("message");
        QTest::newRow("copy before the start")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x4C, 0x04, 0x11}) << 7 << "before the start";
        QTest::newRow("copy past the declared size")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x26, 0x00, 0x00, 0x11}) << 10 << "exceeds";
        QTest::newRow("literals past the declared size")
            << literalStream(QByteArray(40, 'x')) << 39 << "exceeds";
        QTest::newRow("output short of the declared size")
            << bytes({0x03, 'a', 'b', 'c', 'd', 'e', 'f', 0x11}) << 7 << "ends after 6 of 7";
        QTest::newRow("input cut inside literals") << bytes({0x03, 'a', 'b'}) << 6 << "ends early";
        QTest::newRow("input cut before the end mark")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x26, 0x00}) << 12 << "ends early";
        QTest::newRow("long count of zeros alone") << QByteArray(5000, '\0') << 100 << "ends early";
        QTest::newRow("opcode below 0x10")
            << bytes({0x01, 'a', 'b', 'c', 'd', 0x05, 0x11}) << 4 << "unknown opcode";
        QTest::newRow("empty stream") << QByteArray() << 0 << "ends early";
    }
    void lz77Damage() {
        QFETCH(QByteArray, stream);
        QFETCH(int, size);
        QFETCH(QString, message);
        try {
            inflate(stream, size);
            QFAIL("damaged stream accepted");
        } catch (const FormatError& e) {
            QVERIFY2(QString::fromStdString(e.what()).contains(message), e.what());
        }
    }

    void lz2007Streams_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("expected");
        // A first opcode 0x2X gives its literal count in the fourth byte;
        // short runs are stored reversed.
        QTest::newRow("short reversed run")
            << bytes({0x20, 0, 0, 0x03, 'c', 'b', 'a'}) << QByteArray("abc");
        QTest::newRow("run of eight, as is") << literals2007("abcdefgh") << QByteArray("abcdefgh");
        // 32 bytes come as their four 8-byte words in reverse.
        const QByteArray run32("AAAAAAAABBBBBBBBCCCCCCCCDDDDDDDD");
        QTest::newRow("run of 32")
            << bytes({0x0f, 32 - 0x17}) + "DDDDDDDDCCCCCCCCBBBBBBBBAAAAAAAA" << run32;
        QTest::newRow("long run, count byte")
            << literals2007(QByteArray(200, 'q')) << QByteArray(200, 'q');
        // 0x30: three bytes from one back; the next byte's low bits count
        // the literals after it.
        QTest::newRow("overlapping copy")
            << literals2007("abcdefgh") + bytes({0x30, 0x00}) << QByteArray("abcdefghhhh");
        QTest::newRow("copy, then two literals")
            << literals2007("abcdefgh") + bytes({0x37, 0x02, 'y', 'x'})
            << QByteArray("abcdefghabcxy");
        // 0x1X: a two-byte offset; 0x0X after a copy: a long literal run.
        QTest::newRow("two-byte offset, then a run")
            << literals2007("abcdefgh") + bytes({0x12, 0x07, 0x00, 0x01}) + shuffled("123456789")
            << QByteArray("abcdefghabcde123456789");
        // 0x2X: a 16-bit offset with its length in the next byte's top bits.
        QTest::newRow("16-bit offset") << literals2007("abcdefgh") + bytes({0x21, 0x08, 0x00, 0x08})
                                       << QByteArray("abcdefgh") + "abcdefgha";
    }
    void lz2007Streams() {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, expected);
        QCOMPARE(inflate2007(stream, expected.size()), expected);
    }

    void lz2007Damage_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("message");
        QTest::newRow("copy before the start")
            << literals2007("abcdefgh") + bytes({0x38, 0x00}) << 11 << "before the start";
        QTest::newRow("copy past the declared size")
            << literals2007("abcdefgh") + bytes({0x30, 0x00}) << 10 << "exceeds";
        QTest::newRow("literals past the declared size")
            << literals2007(QByteArray(40, 'x')) << 39 << "exceed the declared";
        QTest::newRow("output short of the declared size")
            << literals2007("abcdefgh") << 9 << "ends after 8 of 9";
        QTest::newRow("input cut inside literals")
            << literals2007("abcdefgh").chopped(2) << 8 << "ends early";
        QTest::newRow("input cut inside a copy")
            << literals2007("abcdefgh") + bytes({0x21, 0x08}) << 17 << "ends early";
        QTest::newRow("endless long count")
            << bytes({0x0f, 0xff, 0xff, 0xff}) << 100 << "ends early";
        // A 16-bit offset of 0 would copy bytes not written yet.
        QTest::newRow("copy from no distance back")
            << literals2007("abcdefgh") + bytes({0x21, 0x00, 0x00, 0x00}) << 9 << "no distance";
        QTest::newRow("empty stream") << QByteArray() << 4 << "ends early";
    }
    void lz2007Damage() {
        QFETCH(QByteArray, stream);
        QFETCH(int, size);
        QFETCH(QString, message);
        try {
            inflate2007(stream, size);
            QFAIL("damaged stream accepted");
        } catch (const FormatError& e) {
            QVERIFY2(QString::fromStdString(e.what()).contains(message), e.what());
        }
    }

    // Both decoders copy back references in pieces; whatever the distance
    // and length, the bytes must be those a byte-at-a-time copy gives.
    void backReferencesRepeatAsAByteLoopWould() {
        QRandomGenerator random(7);
        for (size_t distance = 1; distance <= 20; ++distance)
            for (size_t n = 0; n <= 70; ++n)
                for (size_t slack : {0, 20}) { // room beyond the copy, or none
                    std::vector<uint8_t> fast(distance + n + slack), slow;
                    for (size_t i = 0; i < distance; ++i)
                        fast[i] = uint8_t(random.bounded(256));
                    slow = fast;
                    copyBackReference(fast.data() + distance, distance, n, n + slack);
                    for (size_t i = distance; i < distance + n; ++i)
                        slow[i] = slow[i - distance];
                    QVERIFY2(
                        std::equal(fast.begin(), fast.begin() + long(distance + n), slow.begin()),
                        qPrintable(QStringLiteral("distance %1, %2 bytes, slack %3")
                                       .arg(distance)
                                       .arg(n)
                                       .arg(slack)));
                }
    }

    void deinterleaving() {
        QByteArray data;
        for (int i = 0; i < 3 * 239; ++i)
            data.append(static_cast<char>(i * 7));
        const QByteArray raw = interleave(data, 239, 3);
        const auto* p = reinterpret_cast<const uint8_t*>(raw.constData());
        QCOMPARE(raw[1], data[239]); // the blocks alternate byte by byte
        QCOMPARE(deinterleaveBlocks(p, raw.size(), 3, 239), data);
        QCOMPARE(deinterleaveBlocks(p, raw.size(), 1, 251).size(), 251);
        QVERIFY_THROWS_EXCEPTION(FormatError, deinterleaveBlocks(p, 3 * 255 - 1, 3, 239));
        QVERIFY_THROWS_EXCEPTION(FormatError,
                                 deinterleaveBlocks(p, raw.size(), size_t(1) << 62, 239));
    }

    void crafted2007File() {
        const Sections s = read2007(build2007File(fake2007Sections()));
        QCOMPARE(s.release, Release::R2007);
        QCOMPARE(s.maintenance, 2);
        QCOMPARE(s.codePage, 30);
        QCOMPARE(s.header, QByteArray("header variables"));
        QCOMPARE(s.classes, QByteArray("the classes"));
        QCOMPARE(s.handles, QByteArray(600, 'h'));
        QCOMPARE(s.objects, QByteArray("0123456789abcdef0123456789abcde"));
        QVERIFY(s.problems.empty());
    }

    void crafted2007Damage() {
        const QByteArray file = build2007File(fake2007Sections());
        // The last page is cut short.
        QVERIFY(error2007Of(file.left(file.size() - 100)).contains("outside the file"));
        QVERIFY(error2007Of(file.left(0x200)).contains("truncated file header"));
        // A byte past the end: opens, and says the length is wrong.
        const Sections longer = read2007(file + QByteArray(1, '\0'));
        QCOMPARE(longer.problems.size(), size_t(1));
        QVERIFY(QString::fromStdString(longer.problems[0]).contains("its header says"));

        std::vector<Fake2007Section> noClasses = fake2007Sections();
        noClasses.erase(noClasses.begin() + 1);
        QCOMPARE(error2007Of(build2007File(noClasses)),
                 QStringLiteral("section AcDb:Classes is missing"));

        // The objects page's copy now reaches before the start.
        QByteArray badCopy = file;
        const qsizetype copyAt = badCopy.lastIndexOf(bytes({char(0xff), 0x00}));
        badCopy[copyAt + 1] = 0x08;
        QVERIFY(error2007Of(badCopy).contains("failed decompression of section AcDb:AcDbObjects"));

        // A section claiming a terabyte is refused before any allocation.
        std::vector<Fake2007Section> huge = fake2007Sections();
        huge[2].declared = uint64_t(1) << 40;
        QVERIFY(
            error2007Of(build2007File(huge)).contains("declares more data than the file can hold"));
    }

    void masks() {
        // The sequence the file header is masked with begins 29 23 BE 84.
        uint8_t zeros[0x6c] = {};
        applyHeaderMask(zeros, sizeof zeros);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(zeros), 4), bytes({0x29, 0x23, 0xBE, 0x84}));
        applyHeaderMask(zeros, sizeof zeros);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(zeros), sizeof zeros),
                 QByteArray(sizeof zeros, '\0'));

        uint8_t head[32] = {};
        applyPageHeaderMask(head, 0x1234);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(head), 4), u32(0x4164536b ^ 0x1234));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(head) + 28, 4), u32(0x4164536b ^ 0x1234));
    }

    void checksums() {
        // Chained sums equal one sum over the joined bytes, across the
        // runs the modulo is taken after.
        const QByteArray a(0x15b0 + 17, '\xff'), b(0x2000, '\x7f');
        QCOMPARE(checksum(checksum(0, a), b), checksum(0, a + b));
        QCOMPARE(checksum(0, QByteArray("abc")), uint32_t((0x24a << 16) | 0x126));
    }

    void craftedFile() {
        const Sections s = read(buildFile(fakeSections()));
        QCOMPARE(s.release, Release::R2018);
        QCOMPARE(s.maintenance, 3);
        QCOMPARE(s.codePage, 30);
        QCOMPARE(s.header, QByteArray("header variables"));
        QCOMPARE(s.classes, QByteArray("the classes"));
        QCOMPARE(s.handles, QByteArray(300, 'h'));
        QCOMPARE(s.objects, QByteArray("the objects, at last"));
        QVERIFY(s.problems.empty());
    }

    void craftedDamage() {
        const QByteArray file = buildFile(fakeSections());
        QVERIFY(errorOf(file.left(file.size() - 40))
                    .contains("AcDb:AcDbObjects: page 4 lies "
                              "outside the file"));
        QVERIFY(errorOf(file.left(0x90)).contains("truncated file header"));

        std::vector<FakeSection> noHandles = fakeSections();
        noHandles.erase(noHandles.begin() + 2);
        QCOMPARE(errorOf(buildFile(noHandles)), QStringLiteral("section AcDb:Handles is missing"));

        // A byte changed inside a page: its checksum says so, the file opens.
        QByteArray flipped = file;
        const qsizetype at = flipped.indexOf("the objects");
        flipped[at] = 'T';
        const Sections s = read(flipped);
        QCOMPARE(s.objects, QByteArray("The objects, at last"));
        QCOMPARE(s.problems.size(), size_t(1));
        QVERIFY(QString::fromStdString(s.problems[0]).contains("page 4 fails its checksum"));

        // The first header word decrypted to anything but the signature.
        QByteArray badHeader = file;
        badHeader[0x80] = static_cast<char>(badHeader[0x80] ^ 1);
        QVERIFY(errorOf(badHeader).contains("damaged file header"));
    }

    void craftedHugeDeclaredSize() {
        // A section claiming 1 TB in a file of a few hundred bytes is refused
        // before anything is allocated for it.
        std::vector<FakeSection> sections = fakeSections();
        QByteArray file = buildFile(sections);
        const QByteArray name("AcDb:AcDbObjects");
        qsizetype entry = -1;
        // The section map is stored as literals, so its entries are plain.
        entry = file.indexOf(name) - 32;
        QVERIFY(entry > 0);
        file.replace(entry, 8, u64(uint64_t(1) << 40));
        QVERIFY(errorOf(file).contains("declares more data than the file can hold"));
    }

    // A section whose pages fill less than its declared size reads as zeros
    // past them, small or large, and says so; the rest of the file reads.
    void sectionsShortOfTheirSizeEndInZeros() {
        for (const qsizetype size : {qsizetype(20), qsizetype(300000)}) {
            std::vector<FakeSection> sections = fakeSections();
            QByteArray objects(size, '\0');
            for (qsizetype i = 0; i < size; ++i)
                objects[i] = static_cast<char>('a' + i % 23);
            sections[3].data = objects;
            QByteArray file = buildFile(sections);
            const qsizetype entry = file.indexOf("AcDb:AcDbObjects") - 32;
            file.replace(entry, 8, u64(uint64_t(size) + 64));
            Sections copy;
            {
                const Sections s = read(file);
                copy = s;
            }
            QCOMPARE(copy.objects.size(), size + 64);
            QCOMPARE(copy.objects.left(size), objects);
            QCOMPARE(copy.objects.mid(size), QByteArray(64, '\0'));
            QCOMPARE(copy.handles, QByteArray(300, 'h'));
            // The patched section map also fails its checksum.
            QCOMPARE(copy.problems.size(), size_t(2));
            QVERIFY(QString::fromStdString(copy.problems[1])
                        .contains("AcDb:AcDbObjects: its pages hold " + QString::number(size)));
        }
    }

    void otherReleasesRefused() {
        // Each container refuses the others' files in words, not by misreading them.
        QByteArray r2007 = QByteArray("AC1021") + QByteArray(0x500, '\0');
        QVERIFY(errorOf(r2007).contains("not an R2004-style drawing (AC1021)"));
        QVERIFY(error2007Of(r2007).contains("file header"));
        const QByteArray r2018 = buildFile(fakeSections());
        QCOMPARE(error2007Of(r2018), QStringLiteral("not an R2007 drawing"));
        QVERIFY_THROWS_EXCEPTION(FormatError, readR2007Container("AC10", 4));
    }

    void sample2007Drawings() {
        const QDir root(QStringLiteral(SHARED_DWG_DIR));
        QStringList files;
        for (const QString& f :
             QDir(root.filePath("2007")).entryList({QStringLiteral("*.dwg")}, QDir::Files))
            files << root.filePath("2007/" + f);
        for (const char* stem : {"example_2007.dwg", "sample_2007.dwg"})
            if (QFile::exists(root.filePath(stem)))
                files << root.filePath(stem);
        if (files.isEmpty())
            QSKIP("no R2007 drawings in " SHARED_DWG_DIR);
        for (const QString& path : files) {
            const QByteArray name = path.toUtf8();
            Sections s;
            try {
                s = read2007(slurp(path));
            } catch (const FormatError& e) {
                QFAIL(qPrintable(path + ": " + e.what()));
            }
            QCOMPARE(s.release, Release::R2007);
            QVERIFY2(s.header.startsWith(kHeaderSentinel), name);
            QVERIFY2(s.classes.startsWith(kClassesSentinel), name);
            QVERIFY2(sectionCrcHolds(s.header) && sectionCrcHolds(s.classes), name);
            QVERIFY2(handlesWellFormed(s.handles), name);
            QVERIFY2(s.objects.size() > 100, name);
            QCOMPARE(badObjectCrcs(s), 0);
            if (!s.problems.empty())
                QFAIL(qPrintable(path + ": " + QString::fromStdString(s.problems.front())));
        }
    }

    void damaged2007Sample() {
        tortureCopies(QStringLiteral(SHARED_DWG_DIR "/example_2007.dwg"), read2007);
    }

    void sampleDrawings() {
        const QStringList files = sampleFiles();
        if (files.isEmpty())
            QSKIP("no sample drawings in " SHARED_DWG_DIR);
        for (const QString& path : files) {
            const QByteArray data = slurp(path);
            const QByteArray name = path.toUtf8();
            Sections s;
            try {
                s = read(data);
            } catch (const FormatError& e) {
                QFAIL(qPrintable(path + ": " + e.what()));
            }
            QVERIFY2(s.header.startsWith(kHeaderSentinel), name);
            QVERIFY2(s.classes.startsWith(kClassesSentinel), name);
            QVERIFY2(handlesWellFormed(s.handles), name);
            QVERIFY2(s.objects.size() > 100, name);
            if (!s.problems.empty())
                QFAIL(qPrintable(path + ": " + QString::fromStdString(s.problems.front())));
        }
    }

    void damagedSample() {
        tortureCopies(QStringLiteral(SHARED_DWG_DIR "/example_2018.dwg"), read);
    }
};

QTEST_GUILESS_MAIN(TestDwgContainer)
#include "test_dwg_container.moc"
