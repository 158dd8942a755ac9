// Text styles: font names resolved to installed look-alikes, the style's
// width, slant and mirror settings, and ideographs from big fonts.

#include "formats/FontSubstitution.h"
#include "formats/Reader.h"
#include "formats/dxf/DxfReader.h"

#include <QFontDatabase>
#include <QProcess>
#include <QtTest>

#include <cmath>
#include <numbers>

using namespace dv;

namespace {

constexpr double kDeg = std::numbers::pi / 180;

QString fixture(const QString& name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + name;
}

const QStringList kHelveticaLike = {"Liberation Sans", "Arimo", "Nimbus Sans"};
const QStringList kTimesLike = {"Liberation Serif", "Tinos", "Nimbus Roman"};
const QStringList kCourierLike = {"Liberation Mono", "Cousine", "Nimbus Mono PS"};

// The text runs of model space that start with `prefix`.
std::vector<const Text*> textsStarting(const Document& d, const QString& prefix) {
    std::vector<const Text*> out;
    const Block& b = d.blocks[size_t(d.blockIndex("*Model_Space"))];
    for (const Shape& s : b.shapes)
        if (s.kind == ShapeKind::Text && b.texts[s.first].text.startsWith(prefix))
            out.push_back(&b.texts[s.first]);
    return out;
}

const Text& only(const Document& d, const QString& value) {
    static const Text none;
    const auto t = textsStarting(d, value);
    return t.size() == 1 ? *t.front() : none;
}

bool installed(const QString& family) {
    for (const QString& f : QFontDatabase::families())
        if (f.section(QLatin1String(" ["), 0, 0).compare(family, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

class TestDxfFonts : public QObject {
    Q_OBJECT

    std::unique_ptr<Document> m_doc;

private slots:
    void initTestCase() {
        m_doc = ReaderRegistry::builtin().load(fixture("fonts.dxf"));
        QVERIFY(m_doc);
    }

    void trueTypeNamesMapToMetricLookAlikes() {
        QVERIFY(kHelveticaLike.contains(only(*m_doc, "file").fontFamily));
        QVERIFY(kTimesLike.contains(only(*m_doc, "family").fontFamily));
        QVERIFY(kCourierLike.contains(only(*m_doc, "courier").fontFamily));
        const QString cjk = only(*m_doc, "chinese").fontFamily;
        QVERIFY2(installed(cjk), qPrintable(cjk));
        // Any spelling of the same font: path, case, family or file name.
        QCOMPARE(substituteFont("C:\\Windows\\Fonts\\ARIAL.TTF").family,
                 substituteFont("Arial").family);
        QCOMPARE(substituteFont("arialbi.ttf").family, substituteFont("arial.ttf").family);
        // A family that is installed here is kept as it is.
        QCOMPARE(substituteFont("dejavu serif").family, QStringLiteral("DejaVu Serif"));
    }

    void shxFontsMapToSubstitutesOfTheirKind() {
        const QString simplex = only(*m_doc, "simplex").fontFamily;
        QVERIFY2(installed(simplex), qPrintable(simplex));
        QVERIFY(!kTimesLike.contains(simplex));
        QVERIFY(kTimesLike.contains(only(*m_doc, "romant").fontFamily));
        QVERIFY(kCourierLike.contains(only(*m_doc, "mono").fontFamily));
        // Italic stroke fonts lean; their substitute is upright.
        const Text& italic = only(*m_doc, "italic");
        QVERIFY(italic.oblique > 5 * kDeg && italic.oblique < 25 * kDeg);
        QVERIFY(only(*m_doc, "unknown").fontFamily.isEmpty());
        QVERIFY(substituteFont("").family.isEmpty());
    }

    void styleWidthAndSlantApplyWhereTheTextIsSilent() {
        const Text& slanted = only(*m_doc, "slanted");
        QCOMPARE(slanted.widthFactor, 0.7);
        QVERIFY(std::abs(slanted.oblique - 20 * kDeg) < 1e-9);
        const Text& upright = only(*m_doc, "upright");
        QCOMPARE(upright.widthFactor, 1.5);
        QCOMPARE(upright.oblique, 0.0);
    }

    void generationFlagsMirrorTheText() {
        // From the style: backwards and upside down.
        const Text& mirrored = only(*m_doc, "mirrored");
        QVERIFY(mirrored.widthFactor < 0);
        QVERIFY(mirrored.height < 0);
        // From the entity: backwards only.
        const Text& backwards = only(*m_doc, "backwards");
        QVERIFY(backwards.widthFactor < 0);
        QVERIFY(backwards.height > 0);
        // Model extents follow the mirrored text leftwards of its point.
        const Box e = m_doc->layouts[0].extents;
        QVERIFY(e.minX < -3);
    }

    void mtextFontSwitchesResolveLikeStyles() {
        const Text& plain = only(*m_doc, "plain");
        QCOMPARE(plain.widthFactor, 0.7); // the style's
        QVERIFY(std::abs(plain.oblique - 20 * kDeg) < 1e-9);
        QVERIFY(kTimesLike.contains(only(*m_doc, "shx").fontFamily));
        QVERIFY(kCourierLike.contains(only(*m_doc, "ttf").fontFamily));
    }

    // Text and multi-line text without a style name are both in STANDARD.
    void textWithoutAStyleIsInStandard() {
        const QByteArray bytes = "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nSTYLE\n0\nSTYLE\n2\n"
                                 "Standard\n70\n0\n40\n0\n41\n0.8\n3\ncour.ttf\n0\nENDTAB\n"
                                 "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
                                 "0\nTEXT\n10\n0\n20\n0\n40\n1\n1\nline\n"
                                 "0\nMTEXT\n10\n0\n20\n5\n40\n1\n1\nparagraph\n"
                                 "0\nENDSEC\n0\nEOF\n";
        const auto doc = readDxfBytes(bytes.constData(), size_t(bytes.size()), "styles.dxf");
        for (const char* value : {"line", "paragraph"}) {
            const Text& t = only(*doc, value);
            QVERIFY2(kCourierLike.contains(t.fontFamily), value);
            QCOMPARE(t.widthFactor, 0.8);
        }
    }

    void bigFontIdeographsAreDrawn() {
        QTemporaryDir dir;
        const QString png = dir.filePath("big.png");
        QProcess p;
        p.start(VISTREL_TOOL, {"render", fixture("fonts_bigfont.dxf"), png, "--size", "300x120"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QImage img = QImage(png).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!img.isNull());
        // Three ideographs side by side: ink in each third of the text.
        const QRgb bg = img.pixel(0, 0);
        int columns[3] = {0, 0, 0};
        int x0 = img.width(), x1 = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != bg) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                }
        QVERIFY(x1 - x0 > 150);
        // The fit leaves room for all of it: nothing cut at the sides.
        QVERIFY2(x0 > 2 && x1 < img.width() - 3, qPrintable(QString("%1..%2").arg(x0).arg(x1)));
        for (int y = 0; y < img.height(); ++y)
            for (int x = x0; x <= x1; ++x)
                if (img.pixel(x, y) != bg)
                    ++columns[std::min(2, 3 * (x - x0) / (x1 - x0 + 1))];
        for (int c : columns)
            QVERIFY(c > 100);
    }
};

QTEST_MAIN(TestDxfFonts)
#include "test_dxf_fonts.moc"
