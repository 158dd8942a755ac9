// Text in DXF files: MTEXT formatting and layout, and the character sets of
// files from before UTF-8 (one file per code page).

#include "formats/Reader.h"
#include "formats/dxf/DxfMText.h"
#include "formats/dxf/DxfReader.h"
#include "model/TextMetrics.h"

#include <QtTest>

#include <cmath>
#include <numbers>

using namespace dv;

namespace {

QString fixture(const QString& name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + name;
}

bool near(double a, double b, double eps = 1e-9) {
    return std::abs(a - b) <= eps;
}

struct Run {
    const Text* text;
    Color color;
};

// The MTEXT runs whose alignment point lies in the box around (x, y).
std::vector<Run> runsNear(const Document& d, double x, double y, double radius) {
    std::vector<Run> out;
    const Block& b = d.blocks[size_t(d.blockIndex("*Model_Space"))];
    for (const Shape& s : b.shapes) {
        if (s.kind != ShapeKind::Text)
            continue;
        const Text& t = b.texts[s.first];
        if (std::abs(t.position.x - x) <= radius && std::abs(t.position.y - y) <= radius)
            out.push_back({&t, s.color});
    }
    return out;
}

QString joined(const std::vector<Run>& runs) {
    QStringList parts;
    for (const Run& r : runs)
        parts << r.text->text;
    return parts.join(u'|');
}

} // namespace

class TestDxfText : public QObject {
    Q_OBJECT

    std::unique_ptr<Document> m_doc;

private slots:
    void initTestCase() {
        m_doc = ReaderRegistry::builtin().load(fixture("mtext.dxf"));
        QVERIFY(m_doc);
    }

    void textWithoutAStyleIsInStandard() {
        const QByteArray dxf = "0\nSECTION\n2\nTABLES\n0\nSTYLE\n2\nStandard\n3\narial.ttf\n"
                               "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nTEXT\n8\n0\n10\n0\n20\n0\n"
                               "40\n1\n1\nHello\n0\nENDSEC\n0\nEOF\n";
        const auto doc = readDxfBytes(dxf.constData(), size_t(dxf.size()), "nostyle.dxf");
        const Block& b = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        QCOMPARE(b.texts.size(), size_t(1));
        // The style's TrueType font, not the default drawing font.
        QVERIFY(!b.texts[0].fontFamily.isEmpty());
    }

    void paragraphsAreLinesBelowEachOther() {
        const auto runs = runsNear(*m_doc, 0, -4, 5);
        QCOMPARE(joined(runs), QStringLiteral("Line one|Line two"));
        // Top-left attachment: the first baseline one height below the
        // insertion point, the next 5/3 of the height further down.
        QVERIFY(near(runs[0].text->position.y, -2.5));
        QVERIFY(near(runs[1].text->position.y, -2.5 - 2.5 * 5 / 3));
        QCOMPARE(runs[0].text->hAlign, Text::Left);
        QCOMPARE(runs[0].text->vAlign, Text::Baseline);
    }

    void inlineColourMakesItsOwnRun() {
        const auto runs = runsNear(*m_doc, 100, 0, 5);
        QCOMPARE(joined(runs), QStringLiteral("Red| plain"));
        QCOMPARE(runs[0].color, Color::fromAci(1));
        QCOMPARE(runs[1].color, Color::byLayer());
        // The second run starts where the renderer ends the first, and the
        // line is centred on x (middle centre), its baseline half a height
        // below the middle.
        const Text& red = *runs[0].text;
        const double redWidth = textAdvance(red.text, red.fontFamily, red.height);
        QVERIFY(redWidth > 0);
        QVERIFY(near(runs[1].text->position.x - red.position.x, redWidth));
        const double lineWidth =
            redWidth + textAdvance(runs[1].text->text, red.fontFamily, red.height);
        QVERIFY(near(red.position.x, 100 - lineWidth / 2, 0.05 * lineWidth));
        QVERIFY(near(runs[0].text->position.y, -0.5));
    }

    void referenceWidthWraps() {
        const auto runs = runsNear(*m_doc, 0, 48, 3);
        QCOMPARE(joined(runs), QStringLiteral("aaaa bbbb|cccc"));
        QVERIFY(runs[1].text->position.y < runs[0].text->position.y);
    }

    void formatCodes() {
        const auto runs = runsNear(*m_doc, 0, 90, 11);
        QCOMPARE(joined(runs), QStringLiteral("Big|x|1|/2|\u00a0\u00b0\u2300"));
        const Text& big = *runs[0].text;
        QCOMPARE(big.height, 4.0); // \H2x on a height of 2
        QVERIFY(QStringList({"Liberation Sans", "Arimo", "Nimbus Sans"}).contains(big.fontFamily));
        const Text& second = *runs[1].text;
        QCOMPARE(second.widthFactor, 0.5);
        QVERIFY(near(second.oblique, 15 * std::numbers::pi / 180));
        // Line spacing 2: the second baseline 2 * 5/3 * 4 below the first.
        QVERIFY(near(big.position.y - second.position.y, 2 * 5.0 / 3 * 4));
        // A stacked fraction: smaller figures, the numerator raised, the
        // denominator on the line and after it.
        const Text& top = *runs[2].text;
        const Text& bottom = *runs[3].text;
        QVERIFY(near(top.height, 0.7 * second.height));
        QVERIFY(top.position.y > second.position.y + 0.3 * second.height);
        QVERIFY(near(bottom.position.y, second.position.y));
        QVERIFY(bottom.position.x > top.position.x);
    }

    void rotationAndDirection() {
        const auto rotated = runsNear(*m_doc, 50, 50, 2);
        QCOMPARE(rotated.size(), size_t(1));
        QVERIFY(near(rotated[0].text->rotation, std::numbers::pi / 2));
        QCOMPARE(rotated[0].text->hAlign, Text::Right);
        // Bottom right, turned a quarter: the baseline lies to the left of
        // the insertion point, no further down or up.
        QVERIFY(near(rotated[0].text->position.y, 50));
        QVERIFY(rotated[0].text->position.x <= 50);

        const auto directed = runsNear(*m_doc, 59, 60, 2);
        QCOMPARE(directed.size(), size_t(1));
        QVERIFY(near(directed[0].text->rotation, std::numbers::pi / 2)); // 11/21 beats 50
    }

    void longTextInChunksAndWithoutWidthStaysOneLine() {
        const auto runs = runsNear(*m_doc, 0, 149, 2);
        QCOMPARE(runs.size(), size_t(1));
        QCOMPARE(runs[0].text->text, QString(300, u'x') + QStringLiteral("END"));
    }

    void escapesAndDecorations() {
        const auto decorated = runsNear(*m_doc, 0, 199, 2);
        QCOMPARE(joined(decorated), QStringLiteral("\u65e5|under"));
        QVERIFY(decorated[0].text->decorations.empty());
        const std::vector<Text::Decoration> both{{Text::Underline, 0, 5}, {Text::Overline, 0, 5}};
        QCOMPARE(decorated[1].text->decorations, both);
        QCOMPARE(joined(runsNear(*m_doc, 0, 249, 2)), QStringLiteral("32|/5|kept\\"));
        // From AutoCAD 2007 on the file itself is UTF-8.
        QCOMPARE(joined(runsNear(*m_doc, 0, 349, 2)),
                 QStringLiteral("\u00dcn\u00efcode \u65e5\u672c"));
        // TEXT knows the double-byte form too.
        QCOMPARE(joined(runsNear(*m_doc, 0, 300, 0.1)), QStringLiteral("\u65e5\u4e2d \u00b1"));
    }

    void layoutIsBoundedByTheText() {
        // Unterminated codes and a lone backslash end the text, nothing more.
        dxf::MTextParams p;
        const auto pieces = dxf::layoutMText(QStringLiteral("a\\H2;b{\\C3;c\\"), p);
        QCOMPARE(pieces.size(), size_t(3));
        QCOMPARE(pieces[2].text.text, QStringLiteral("c\\"));
        QCOMPARE(pieces[2].color, Color::fromAci(3));
        QVERIFY(dxf::layoutMText(QStringLiteral("\\f"), p).empty());
        // A width narrower than any glyph wraps a long text a bounded number
        // of times, and never inside a word.
        p.referenceWidth = 0.1;
        QString words;
        for (int i = 0; i < 25000; ++i)
            words += QStringLiteral("w ");
        const auto narrow = dxf::layoutMText(words, p);
        QCOMPARE(narrow.size(), size_t(10000));
        QCOMPARE(narrow.back().text.text, words.mid(2 * 9999));
        QCOMPARE(dxf::layoutMText(QString(50000, u'w'), p).size(), size_t(1));
        // Columns made as the text needs them are bounded in number too.
        dxf::MTextParams cp;
        cp.columns.type = 2;
        cp.columns.width = 1;
        cp.columns.height = 1;
        const auto columns = dxf::layoutMText(words.left(10000), cp);
        QCOMPARE(columns.size(), size_t(5000));
        double right = 0;
        for (const auto& piece : columns)
            right = std::max(right, piece.text.position.x);
        QCOMPARE(right, 999.0);
        // Codes cut short by the end of the text.
        QCOMPARE(dxf::layoutMText(QStringLiteral("a^"), p)[0].text.text, QStringLiteral("a^"));
        QCOMPARE(dxf::layoutMText(QStringLiteral("a\\pxq"), p)[0].text.text, QStringLiteral("a"));
        p.referenceWidth = 0;
        // Relative heights cannot multiply past what a double holds.
        const auto tall = dxf::layoutMText(QStringLiteral("\\H1e300x;\\H1e300x;a"), p);
        QCOMPARE(tall.size(), size_t(1));
        QCOMPARE(tall[0].text.height, 1e300);
        QVERIFY(dxf::layoutMText(QStringLiteral("}}}{{"), p).empty());
    }

    void columnsStandSideBySide() {
        const auto doc = ReaderRegistry::builtin().load(fixture("text_fidelity.dxf"));
        // The embedded object's codes leave the entity where it is: its
        // height, its direction, and two columns 12 wide, 3 apart, 10 high.
        const auto first = runsNear(*doc, 200, 97.5, 0.01);
        QCOMPARE(joined(first), QStringLiteral("aaa bbb"));
        QCOMPARE(first[0].text->height, 2.5);
        QCOMPARE(first[0].text->rotation, 0.0);
        QCOMPARE(joined(runsNear(*doc, 200, 97.5 - 2.5 * 5 / 3, 0.01)), QStringLiteral("ccc ddd"));
        QCOMPARE(joined(runsNear(*doc, 215, 97.5, 0.01)), QStringLiteral("eee fff"));
        // Columns of the entity's own groups, each begun by a column break.
        QCOMPARE(joined(runsNear(*doc, 300, 99, 0.01)), QStringLiteral("one"));
        QCOMPARE(joined(runsNear(*doc, 312, 99, 0.01)), QStringLiteral("two"));
        QCOMPARE(joined(runsNear(*doc, 324, 99, 0.01)), QStringLiteral("three"));
    }

    void paragraphsAlignInTheirBox() {
        const auto doc = ReaderRegistry::builtin().load(fixture("text_fidelity.dxf"));
        const double step = 5.0 / 3;
        const auto mid = runsNear(*doc, 20, 199, 0.01);
        QCOMPARE(joined(mid), QStringLiteral("mid"));
        QCOMPARE(mid[0].text->hAlign, Text::Center);
        const auto right = runsNear(*doc, 40, 199 - step, 0.01);
        QCOMPARE(joined(right), QStringLiteral("right"));
        QCOMPARE(right[0].text->hAlign, Text::Right);
        QCOMPARE(runsNear(*doc, 0, 199 - 2 * step, 0.01)[0].text->hAlign, Text::Left);
        // Top right: lines align right on the insertion point unless told
        // otherwise, and then left in the box that ends there.
        const auto attached = runsNear(*doc, 100, 199, 0.01);
        QCOMPARE(joined(attached), QStringLiteral("byattach"));
        QCOMPARE(attached[0].text->hAlign, Text::Right);
        const auto left = runsNear(*doc, 80, 199 - step, 0.01);
        QCOMPARE(joined(left), QStringLiteral("left"));
        QCOMPARE(left[0].text->hAlign, Text::Left);
        // Justified: the spaces of all but the last line widen to fill the box.
        const auto justified = runsNear(*doc, 3.5, 249, 3.6);
        QCOMPARE(joined(justified), QStringLiteral("aa |bb |cc |dd|ee"));
        const Text& last = *justified[3].text;
        QVERIFY(
            near(last.position.x + textAdvance(last.text, last.fontFamily, last.height), 7, 1e-9));
        QCOMPARE(joined(runsNear(*doc, 0, 249 - step, 0.01)), QStringLiteral("ee"));
    }

    void tabsCaretsAndWholeWords() {
        const auto doc = ReaderRegistry::builtin().load(fixture("text_fidelity.dxf"));
        const double step = 5.0 / 3;
        // A tab goes on to the next stop, four heights apart; ^J breaks
        // the line, "^ " is a caret and ^M nothing.
        QCOMPARE(joined(runsNear(*doc, 0, 299, 0.01)), QStringLiteral("a"));
        QCOMPARE(joined(runsNear(*doc, 4, 299, 0.01)), QStringLiteral("b"));
        QCOMPARE(joined(runsNear(*doc, 0, 299 - step, 0.01)), QStringLiteral("c^d"));
        QCOMPARE(joined(runsNear(*doc, 0, 349, 0.01)), QStringLiteral("supercalifragilistic"));
        QCOMPARE(joined(runsNear(*doc, 0, 349 - step, 0.01)), QStringLiteral("word"));
    }

    void specialCodes() {
        const auto doc = ReaderRegistry::builtin().load(fixture("text_fidelity.dxf"));
        const QString expected = QStringLiteral("A\u00b0\u00b1\u2300%{4");
        QCOMPARE(joined(runsNear(*doc, 0, 400, 0.01)), expected);
        QCOMPARE(joined(runsNear(*doc, 0, 419, 0.01)), expected);
        // %%u and %%o turn their lines on and off over the characters between.
        const auto plain = runsNear(*doc, 0, 120, 0.01);
        QCOMPARE(joined(plain), QStringLiteral("HI LO TOP"));
        const std::vector<Text::Decoration> lines{{Text::Underline, 0, 2}, {Text::Overline, 6, 9}};
        QCOMPARE(plain[0].text->decorations, lines);
        const auto rich = runsNear(*doc, 3, 135, 3.1);
        QCOMPARE(joined(rich), QStringLiteral("HI| LO"));
        QCOMPARE(rich[0].text->decorations.size(), size_t(1));
        QVERIFY(rich[1].text->decorations.empty());
    }

    void multiLineAttributeKeepsItsPlace() {
        const auto doc = ReaderRegistry::builtin().load(fixture("text_fidelity.dxf"));
        const auto tag = runsNear(*doc, 0, 450, 0.01);
        QCOMPARE(joined(tag), QStringLiteral("TAG"));
        QCOMPARE(tag[0].text->height, 1.0);
        QCOMPARE(tag[0].text->widthFactor, 1.0);
        QCOMPARE(tag[0].text->rotation, 0.0);
        QCOMPARE(tag[0].text->hAlign, Text::Left);
    }

    // A multi-line attribute shows the MTEXT it embeds, line by line, not
    // its single-line value; the MTEXT's own embedded columns are not it.
    void multiLineAttributeShowsItsLines() {
        auto attrib = [](int flags) {
            return "0\nATTRIB\n8\n0\n100\nAcDbText\n10\n5.0\n20\n8.0\n40\n1.0\n"
                   "1\nfirst\\Psecond\n100\nAcDbAttribute\n2\nOWNER\n70\n" +
                   std::to_string(flags) +
                   "\n101\nEmbedded Object\n10\n5.0\n20\n8.0\n40\n2.0\n41\n50.0\n"
                   "71\n1\n72\n1\n1\nfirst\\Psecond\n11\n1.0\n21\n0.0\n"
                   "101\nEmbedded Object\n10\n1.0\n11\n99.0\n40\n9.0\n";
        };
        for (const int flags : {0, 1}) {
            const std::string dxf =
                "0\nSECTION\n2\nENTITIES\n" + attrib(flags) + "0\nENDSEC\n0\nEOF\n";
            const auto doc = readDxfBytes(dxf.data(), dxf.size(), "attrib.dxf");
            const auto runs = runsNear(*doc, 5, 6, 5);
            if (flags & 1) { // invisible
                QVERIFY(runs.empty());
                continue;
            }
            QCOMPARE(joined(runs), QStringLiteral("first|second"));
            for (const Run& r : runs) {
                QCOMPARE(r.text->height, 2.0);
                QCOMPARE(r.text->rotation, 0.0);
                QVERIFY(near(r.text->position.x, 5, 1e-6));
            }
            QVERIFY(runs[1].text->position.y < runs[0].text->position.y);
        }
    }

    void codePages_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1250") << "ansi_1250" << QStringLiteral("\u0141\u00f3d\u017a");
        QTest::newRow("1251") << "ansi_1251" << QStringLiteral("\u041c\u0438\u0440");
        QTest::newRow("1252") << "ansi_1252" << QStringLiteral("Caf\u00e9");
        QTest::newRow("1253") << "ansi_1253" << QStringLiteral("\u0391\u03b8\u03ae\u03bd\u03b1");
        QTest::newRow("1254") << "ansi_1254" << QStringLiteral("\u0130stanbul \u011f");
        QTest::newRow("1255") << "ansi_1255" << QStringLiteral("\u05e9\u05dc\u05d5\u05dd");
        QTest::newRow("1256") << "ansi_1256" << QStringLiteral("\u0633\u0644\u0627\u0645");
        QTest::newRow("1257") << "ansi_1257" << QStringLiteral("R\u012bga \u0161");
        QTest::newRow("1258") << "ansi_1258" << QStringLiteral("\u0111\u01b0\u01a1ng");
        QTest::newRow("932") << "ansi_932" << QStringLiteral("\u65e5\u672c");
        QTest::newRow("936") << "ansi_936" << QStringLiteral("\u4e2d\u6587");
        QTest::newRow("949") << "ansi_949" << QStringLiteral("\ud55c\uae00");
        QTest::newRow("950") << "ansi_950" << QStringLiteral("\u4e2d\u6587");
    }
    void codePages() {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const auto doc = ReaderRegistry::builtin().load(fixture("codepage_" + file + ".dxf"));
        const Block& b = doc->blocks[size_t(doc->blockIndex("*Model_Space"))];
        QCOMPARE(b.texts.size(), size_t(3)); // the TEXT, and the MTEXT's two lines
        QCOMPARE(b.texts[0].text, expected + QStringLiteral(" \u00b0"));
        QCOMPARE(b.texts[1].text, expected);
        QCOMPARE(b.texts[2].text, QStringLiteral("2"));
    }

    void mifCharacters() {
        QCOMPARE(dxf::decodeMifChar(1, 0x93FA), QStringLiteral("\u65e5"));
        QCOMPARE(dxf::decodeMifChar(5, 0xD6D0), QStringLiteral("\u4e2d")); // GBK
        QCOMPARE(dxf::decodeMifChar(2, 0xA4A4), QStringLiteral("\u4e2d")); // Big5
        QCOMPARE(dxf::decodeMifChar(3, 0xC7D1), QStringLiteral("\ud55c"));
        QCOMPARE(dxf::decodeMifChar(9, 0x4141), QString(QChar(0xFFFD)));
    }
};

QTEST_GUILESS_MAIN(TestDxfText)
#include "test_dxf_text.moc"
