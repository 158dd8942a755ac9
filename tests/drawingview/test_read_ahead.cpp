// Large ASCII DXF files are split into groups on a second thread, ahead of
// the parser, and the memory the parser fills is faulted in ahead of it.
// What the parser sees must not change: the same groups, the same numbers,
// the same errors at the same place, the same bytes in memory.

#include "formats/common/PageWarmer.h"
#include "formats/dxf/DxfGroupPipe.h"
#include "formats/dxf/DxfReader.h"
#include "formats/dxf/DxfTokenizer.h"

#include <QtTest>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

using namespace dv;
using namespace dv::dxf;

namespace {

struct Seen {
    std::vector<Group> groups;
    std::optional<std::string> error;
};

template <typename Source> Seen drain(Source& source) {
    Seen seen;
    try {
        Group g;
        while (source.next(g))
            seen.groups.push_back(g);
    } catch (const SyntaxError& e) {
        seen.error = e.what();
    }
    return seen;
}

std::optional<double> number(const Group& g) {
    try {
        return toDouble(g);
    } catch (const SyntaxError&) {
        return std::nullopt;
    }
}

// Mixed content: comments, CRLF lines, padded codes, every kind of number
// and values that only look like numbers.
std::string sample(int entities) {
    std::string s = "999\nwritten by hand\n  0\nSECTION\n  2\nENTITIES\n";
    for (int i = 0; i < entities; ++i) {
        s += "  0\r\nLWPOLYLINE\r\n  5\n" + std::to_string(100 + i) + "\n  8\nLayer " +
             std::to_string(i % 7) + "\n 90\n2\n 70\n" + std::to_string(i % 2) + "\n";
        s += " 10\n" + std::to_string(i * 0.25) + "\n 20\n  +" + std::to_string(i) + ".5  \n";
        s += " 10\n" + std::string(i % 11 == 0 ? "not a number" : "-1e3") + "\n 20\n1.#INF\n";
        s += " 42\n" + std::string(i % 13 == 0 ? "" : "0.5") + "\n1040\n2.5\n";
        if (i % 17 == 0)
            s += "999\na comment inside\n";
    }
    return s + "  0\nENDSEC\n  0\nEOF\n\n\n";
}

} // namespace

class TestReadAhead : public QObject {
    Q_OBJECT

private slots:
    void givesTheTokenizersGroupsAndNumbers_data() {
        QTest::addColumn<int>("chunk");
        QTest::newRow("one group at a time") << 1;
        QTest::newRow("odd chunks") << 7;
        QTest::newRow("chunks as in use") << 16384;
    }
    void givesTheTokenizersGroupsAndNumbers() {
        QFETCH(int, chunk);
        const std::string text = sample(3000);
        Tokenizer tokenizer(text.data(), text.size());
        const Seen want = drain(tokenizer);
        GroupPipe pipe(text.data(), text.size(), size_t(chunk));
        const Seen got = drain(pipe);
        QVERIFY(!want.error);
        QVERIFY(!got.error);
        QCOMPARE(got.groups.size(), want.groups.size());
        size_t ready = 0;
        for (size_t i = 0; i < want.groups.size(); ++i) {
            const Group &a = want.groups[i], &b = got.groups[i];
            QCOMPARE(b.code, a.code);
            QCOMPARE(b.value, a.value);
            QCOMPARE(b.position, a.position);
            QCOMPARE(number(b), number(a));
            ready += b.hasNumber ? 1 : 0;
        }
        // Real-valued codes came read; the rest, and bad values, did not.
        QVERIFY(ready > 3000 * 4);
        for (const Group& g : got.groups)
            if (g.hasNumber)
                QVERIFY((g.code >= 10 && g.code <= 59) || g.code == 1040);
        QCOMPARE(pipe.position(), text.size());
    }

    // A damaged file fails where the tokenizer fails, with its message,
    // after the same groups; at a chunk's edge or inside one.
    void failsWhereTheTokenizerFails_data() {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("chunk");
        QTest::newRow("bad code, small chunks") << QByteArray("  x\nLINE\n") << 5;
        QTest::newRow("bad code, one chunk") << QByteArray("  x\nLINE\n") << 16384;
        QTest::newRow("value cut off") << QByteArray(" 10") << 3;
        QTest::newRow("empty line") << QByteArray("\n  0\nLINE\n") << 2;
    }
    void failsWhereTheTokenizerFails() {
        QFETCH(QByteArray, tail);
        QFETCH(int, chunk);
        std::string text = sample(200);
        text.resize(text.size() - 2); // blank lines are harmless only at the very end
        text += tail.toStdString();
        Tokenizer tokenizer(text.data(), text.size());
        const Seen want = drain(tokenizer);
        GroupPipe pipe(text.data(), text.size(), size_t(chunk));
        const Seen got = drain(pipe);
        QVERIFY(want.error);
        QCOMPARE(got.error, want.error);
        QCOMPARE(got.groups.size(), want.groups.size());
        Group g;
        QVERIFY(!pipe.next(g)); // over after the error
    }

    // A parser that stops early (an error of its own) leaves at once.
    void stopsWhenLeftEarly() {
        const std::string text = sample(50000);
        for (int i = 0; i < 20; ++i) {
            GroupPipe pipe(text.data(), text.size(), size_t(64 + i));
            Group g;
            for (int k = 0; k < i * 100; ++k)
                QVERIFY(pipe.next(g));
        }
        GroupPipe untouched(text.data(), text.size());
        QCOMPARE(untouched.size(), text.size());
    }

    // The reader takes this road for large files: the drawing and its errors
    // come out as from a small one.
    void largeFilesReadTheSame() {
        std::string body;
        for (int i = 0; body.size() < (size_t(3) << 20); ++i)
            body += "  0\nLINE\n  8\nL" + std::to_string(i % 5) + "\n 10\n" + std::to_string(i) +
                    "\n 20\n0\n 11\n" + std::to_string(i) + "\n 21\n1.5\n";
        const std::string head = "  0\nSECTION\n  2\nENTITIES\n";
        const std::string good = head + body + "  0\nENDSEC\n  0\nEOF\n";
        auto doc = readDxfBytes(good.data(), good.size(), QStringLiteral("big.dxf"));
        const Block& model = doc->blocks[size_t(doc->layouts[0].block)];
        const size_t lines = model.shapes.size();
        QVERIFY(lines > 50000);
        QCOMPARE(model.points.back().y, 1.5);
        QCOMPARE(model.points.back().x, double(lines - 1));
        QCOMPARE(doc->layouts[0].extents.maxX, double(lines - 1));
        QCOMPARE(doc->layers.size(), size_t(6)); // "0" and L0 to L4

        const std::string bad = head + body + " 10\nnot a number\n  0\nENDSEC\n";
        const int line = int(std::count(head.begin(), head.end(), '\n') +
                             std::count(body.begin(), body.end(), '\n')) +
                         1;
        try {
            readDxfBytes(bad.data(), bad.size(), QStringLiteral("big.dxf"));
            QFAIL("a bad number was read");
        } catch (const ReadError& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.contains(QStringLiteral("line %1").arg(line)), qPrintable(message));
            QVERIFY(message.contains(QStringLiteral("big.dxf")));
        }
    }

    // Warming stays a bounded step ahead of the reader and never changes
    // what memory holds, also while the reader writes beside it.
    void warmingKeepsAheadAndTheBytes() {
        constexpr size_t size = size_t(48) << 20, ahead = size_t(4) << 20;
        std::unique_ptr<char[]> block(new char[size]);
        char* base = block.get();
        std::memset(base, 0x5A, 1 << 20);
        auto waitFor = [](const PageWarmer& w, size_t bytes) {
            for (int i = 0; i < 2000 && w.warmedBytes() < bytes; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return w.warmedBytes();
        };
        {
            PageWarmer warmer(ahead);
            warmer.reached(0, base, 1 << 20, size);
            const size_t first = waitFor(warmer, ahead - (64 << 10));
            const bool counts = !warmer.unsupported(); // an old kernel only keeps the bytes
            QVERIFY(!counts || (first >= ahead - (64 << 10) && first <= ahead));
            // The reader moves on while it warms.
            for (size_t used = 1 << 20; used < (size_t(24) << 20); used += 1 << 20) {
                std::memset(base + used, int(used >> 20), 1 << 20);
                warmer.reached(0, base, used + (1 << 20), size);
            }
            // What the reader passed itself is not warmed again; what lies
            // ahead of where it stopped is.
            const size_t later = waitFor(warmer, 2 * (ahead - (64 << 10)));
            QVERIFY(!counts ||
                    (later >= 2 * (ahead - (64 << 10)) && later <= (size_t(24) << 20) + ahead));
            // A region that moved is taken up anew; a second one beside it.
            warmer.reached(0, base + (size_t(40) << 20), 0, size_t(8) << 20);
            warmer.reached(1, base + (size_t(30) << 20), 0, 1 << 20);
        } // leaves with work pending
        for (size_t i = 0; i < (1 << 20); i += 4093)
            QCOMPARE(base[i], char(0x5A));
        for (size_t used = 1 << 20; used < (size_t(24) << 20); used += 1 << 20)
            QCOMPARE(base[used + 77], char(used >> 20));
    }
};

QTEST_GUILESS_MAIN(TestReadAhead)
#include "test_read_ahead.moc"
