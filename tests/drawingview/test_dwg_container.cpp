// The R2004-style DWG container: its LZ77 pages, masked headers, page and
// section maps, on crafted bytes and on the shared sample drawings, sound
// and damaged.

#include "formats/dwg/DwgChecksum.h"
#include "formats/dwg/DwgContainer2004.h"
#include "formats/dwg/DwgLz77.h"
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

    void otherReleasesRefused() {
        // Each container refuses the others' files in words, not by misreading them.
        QByteArray r2007 = QByteArray("AC1021") + QByteArray(0x500, '\0');
        QVERIFY(errorOf(r2007).contains("not an R2004-style drawing (AC1021)"));
        try {
            readR2007Container(r2007.constData(), r2007.size());
            QFAIL("R2007 container claimed to read");
        } catch (const FormatError& e) {
            QVERIFY(QString::fromLatin1(e.what()).contains("not read yet"));
        }
        QVERIFY_THROWS_EXCEPTION(FormatError, readR2007Container("AC10", 4));
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
        const QByteArray data = slurp(QStringLiteral(SHARED_DWG_DIR "/example_2018.dwg"));
        if (data.isEmpty())
            QSKIP("no sample drawings in " SHARED_DWG_DIR);
        QElapsedTimer timer;
        timer.start();
        int opened = 0, refused = 0;
        auto attempt = [&](const QByteArray& copy) {
            try {
                read(copy);
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
        QVERIFY(refused > 90); // every cut loses the maps at the file's end
        QVERIFY(opened > 0);
        QVERIFY2(timer.elapsed() < 20000, "damaged copies take too long");
    }
};

QTEST_GUILESS_MAIN(TestDwgContainer)
#include "test_dwg_container.moc"
