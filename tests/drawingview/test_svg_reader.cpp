// Opening SVG drawings: layers from top-level groups, the page in the
// document's own units, content placed where Qt SVG paints it, compressed
// files, and clear errors for broken or hostile ones.

#include "formats/Reader.h"
#include "formats/svg/SvgReader.h"
#include "render/PaintBackend.h"
#include "render/RenderScene.h"
#include "render/Renderer.h"
#include "render/ViewTransform.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace dv;

namespace {

const QString kData = QStringLiteral(TEST_DATA_DIR "/svg/");

QJsonObject toolInfo(const QString& path) {
    QProcess p;
    p.start(VISTREL_TOOL, {"info", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

std::shared_ptr<Document> load(const QString& path) {
    return ReaderRegistry::builtin().load(path);
}

QString loadError(const QString& path) {
    try {
        load(path);
    } catch (const ReadError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<loaded>");
}

// The whole page without a border: `pxPerUnit` pixels per user unit of a
// page whose user units fill it.
QImage renderPage(const std::shared_ptr<Document>& doc, QSize size) {
    RenderScene scene(doc);
    return renderFitted(scene, 0, size, true);
}

bool near(QColor a, QColor b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

#define COMPARE_PIXEL(image, x, y, expected)                                                       \
    QVERIFY2(near((image).pixelColor(x, y), expected),                                             \
             qPrintable(QStringLiteral("pixel %1,%2 is %3")                                        \
                            .arg(x)                                                                \
                            .arg(y)                                                                \
                            .arg((image).pixelColor(x, y).name())))

// As renderFitted, on an image that claims `dpi` (a printer page does),
// drawing only into `area` when one is given.
QImage renderAtDpi(const std::shared_ptr<Document>& doc, QSize size, int dpi,
                   QRectF area = QRectF()) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::gray);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    RenderScene scene(doc);
    ViewTransform view;
    view.zoomToFit(Renderer::contentExtents(*doc, 0), QRectF(image.rect()), 0.0);
    QPainter painter(&image);
    QPainterBackend backend(painter, area.isValid() ? area : QRectF(image.rect()));
    Renderer(scene).render(backend, view, 0);
    return image;
}

int darkPixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) < 100;
    return n;
}

int layerNamed(const Document& doc, const QString& name) {
    for (size_t i = 0; i < doc.layers.size(); ++i)
        if (doc.layers[i].name == name)
            return int(i);
    return -1;
}

} // namespace

class TestSvgReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

private slots:
    void topLevelGroupsAreSwitchableLayers() {
        const auto doc = load(kData + "layers.svg");
        QCOMPARE(doc->format, QString("SVG"));
        QCOMPARE(doc->kind, Document::Kind::Drawing);
        QVERIFY(doc->exactColors);
        QCOMPARE(doc->layouts.size(), size_t(1));
        QCOMPARE(doc->layouts[0].name, QString("Model"));
        QVERIFY(doc->layouts[0].paperSpace);
        QStringList names;
        for (const Layer& l : doc->layers)
            names << l.name;
        // The label of an Inkscape layer, the id of a plain group, and "0"
        // for the element outside any group; <defs> is no layer.
        QCOMPARE(names, QStringList({"Walls", "doors", "0"}));

        // 200 x 100 mm page at 2 px/mm.
        QImage page = renderPage(doc, QSize(400, 200));
        COMPARE_PIXEL(page, 100, 100, QColor(255, 0, 0)); // a class style from <defs>
        COMPARE_PIXEL(page, 300, 100, QColor(0, 0, 255));
        COMPARE_PIXEL(page, 200, 196, QColor(0, 192, 0));
        COMPARE_PIXEL(page, 200, 30, QColor(255, 255, 255));

        doc->layers[layerNamed(*doc, "Walls")].on = false;
        page = renderPage(doc, QSize(400, 200));
        COMPARE_PIXEL(page, 100, 100, QColor(255, 255, 255));
        COMPARE_PIXEL(page, 300, 100, QColor(0, 0, 255));
        doc->layers[layerNamed(*doc, "0")].on = false;
        page = renderPage(doc, QSize(400, 200));
        COMPARE_PIXEL(page, 200, 196, QColor(255, 255, 255));
        COMPARE_PIXEL(page, 300, 100, QColor(0, 0, 255));
    }

    void pageSizeInItsUnits_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<QString>("units"); // $INSUNITS: 4 mm, 0 unitless px
        QTest::newRow("mm") << "size_mm.svg" << 120.0 << 80.0 << "4";
        QTest::newRow("inches") << "size_in.svg" << 101.6 << 50.8 << "4";
        QTest::newRow("points, no viewBox") << "size_pt.svg" << 25.4 << 12.7 << "4";
        QTest::newRow("px, no viewBox") << "size_px.svg" << 300.0 << 150.0 << "0";
        QTest::newRow("percent: the viewBox") << "size_percent.svg" << 640.0 << 480.0 << "0";
        QTest::newRow("compressed") << "layers.svgz" << 200.0 << 100.0 << "4";
    }

    void pageSizeInItsUnits() {
        QFETCH(QString, file);
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(QString, units);
        const QJsonObject o = toolInfo(kData + file);
        QCOMPARE(o["format"].toString(), QString("SVG"));
        QCOMPARE(o["kind"].toString(), QString("drawing"));
        QCOMPARE(o["header"].toObject()["$INSUNITS"].toString(), units);
        QCOMPARE(o["units"].toString(), QString(units == "4" ? "millimetres" : "unitless"));
        const QJsonArray extents = o["layouts"].toArray()[0].toObject()["extents"].toArray();
        QCOMPARE(extents.size(), 4);
        QCOMPARE(extents[0].toDouble(), 0.0);
        QCOMPARE(extents[1].toDouble(), 0.0);
        QVERIFY(qAbs(extents[2].toDouble() - width) < 1e-6);
        QVERIFY(qAbs(extents[3].toDouble() - height) < 1e-6);
        // The black page fill covers it all, y up or down alike.
        const auto doc = load(kData + file);
        const QImage page = renderPage(
            doc, QSize(int(width * 4), int(height * 4)).scaled(400, 400, Qt::KeepAspectRatio));
        if (!file.endsWith(".svgz")) {
            COMPARE_PIXEL(page, 3, 3, QColor(0, 0, 0));
            COMPARE_PIXEL(page, page.width() - 4, page.height() - 4, QColor(0, 0, 0));
        }
    }

    void compressedMatchesPlain() {
        const auto plain = load(kData + "layers.svg");
        const auto packed = load(kData + "layers.svgz");
        QCOMPARE(packed->layers.size(), plain->layers.size());
        QCOMPARE(renderPage(packed, QSize(200, 100)), renderPage(plain, QSize(200, 100)));
    }

    void transformsUseAndGradients() {
        const auto doc = load(kData + "transforms.svg");
        // 400 x 200 px page at 2 image pixels per unit.
        const QImage page = renderPage(doc, QSize(800, 400));
        COMPARE_PIXEL(page, 240, 80, QColor(0, 255, 0));     // translate + scale
        COMPARE_PIXEL(page, 300, 80, QColor(255, 255, 255)); // beyond the scaled square
        COMPARE_PIXEL(page, 620, 60, QColor(0, 0, 255));     // <use> of a <defs> element
        COMPARE_PIXEL(page, 100, 300, QColor(255, 0, 255));  // rotated about a point
        COMPARE_PIXEL(page, 200, 300, QColor(255, 255, 255));
        const QColor left = page.pixelColor(410, 300), right = page.pixelColor(750, 300);
        QVERIFY2(left.red() > 200 && left.green() < 60, qPrintable(left.name()));
        QVERIFY2(right.red() > 200 && right.green() > 200, qPrintable(right.name()));
        // A 10-unit stroke is drawn in full width, its flat ends not beyond.
        COMPARE_PIXEL(page, 400, 382, QColor(0, 0, 0));
        COMPARE_PIXEL(page, 400, 397, QColor(0, 0, 0));
        COMPARE_PIXEL(page, 10, 390, QColor(255, 255, 255));
    }

    void textIsDrawnAndScalesAsVectors() {
        const auto doc = load(kData + "text.svg");
        // 300 x 100 px page; the text sits at x 20.., baseline 75.
        const QImage small = renderPage(doc, QSize(300, 100));
        const QImage large = renderPage(doc, QSize(1500, 500));
        const int a = darkPixels(small, QRect(0, 0, 300, 100));
        const int b = darkPixels(large, QRect(0, 0, 1500, 500));
        QVERIFY2(a > 500, qPrintable(QString::number(a)));
        // Five times the size: 25 times the ink, give or take the edges.
        QVERIFY2(b > a * 20 && b < a * 30, qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
        QCOMPARE(darkPixels(large, QRect(0, 0, 1500, 100)), 0);       // above the capitals
        QVERIFY(darkPixels(large, QRect(100, 200, 100, 150)) > 1000); // the H's stem
    }

    void textKeepsItsSizeOnHighResolutionDevices() {
        const auto doc = load(kData + "text.svg");
        const QImage screen = renderAtDpi(doc, QSize(1200, 400), 96);
        const QImage printer = renderAtDpi(doc, QSize(1200, 400), 600);
        const int a = darkPixels(screen, screen.rect());
        const int b = darkPixels(printer, printer.rect());
        QVERIFY2(a > 5000 && std::abs(a - b) < a / 20,
                 qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
    }

    void picturesKeepTheViewsClip() {
        // The page's clip is recorded in the pictures; replayed, it must not
        // lift the clip of the area the view draws into.
        const auto doc = load(kData + "layers.svg");
        const QImage half = renderAtDpi(doc, QSize(400, 200), 96, QRectF(0, 0, 200, 200));
        COMPARE_PIXEL(half, 100, 100, QColor(255, 0, 0));
        COMPARE_PIXEL(half, 300, 100, QColor(Qt::gray));
        COMPARE_PIXEL(half, 300, 196, QColor(Qt::gray));
    }

    void elementsWithoutOrWithRepeatedIdsAreEachDrawnOnce() {
        const QString path = write(
            "ids.svg",
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"300\" height=\"100\">\n"
            "<rect id=\"a\" x=\"0\" y=\"0\" width=\"100\" height=\"100\" fill=\"#ff0000\"/>\n"
            "<rect id=\"a\" x=\"100\" y=\"0\" width=\"100\" height=\"100\" fill=\"#00ff00\"/>\n"
            "<rect x=\"200\" y=\"0\" width=\"100\" height=\"100\" fill=\"#0000ff\"/>\n"
            "<!-- an id that a generated one must not take -->\n"
            "<circle id=\"vistrel-top-1\" cx=\"-50\" cy=\"-50\" r=\"1\"/>\n"
            "</svg>");
        const auto doc = load(path);
        const QImage page = renderPage(doc, QSize(300, 100));
        COMPARE_PIXEL(page, 50, 50, QColor(255, 0, 0));
        COMPARE_PIXEL(page, 150, 50, QColor(0, 255, 0));
        COMPARE_PIXEL(page, 250, 50, QColor(0, 0, 255));
        QCOMPARE(doc->blocks[0].entityCounts["rect"], 3);
    }

    void linkedImagesOnlyFromRegularFiles() {
        QImage tile(10, 10, QImage::Format_RGB32);
        tile.fill(QColor(255, 0, 0));
        QVERIFY(tile.save(m_dir.filePath("tile.png")));
        // A pipe nobody writes to: opening it would block for ever.
        const QByteArray fifo = QFile::encodeName(m_dir.filePath("pipe.png"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const QString path = write(
            "linked.svg",
            "<svg xmlns=\"http://www.w3.org/2000/svg\" "
            "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"300\" height=\"100\">\n"
            "<image x=\"0\" y=\"0\" width=\"100\" height=\"100\" xlink:href=\"tile.png\"/>\n"
            "<image x=\"100\" y=\"0\" width=\"100\" height=\"100\" xlink:href=\"pipe.png\"/>\n"
            "<image x=\"200\" y=\"0\" width=\"100\" height=\"100\" "
            "xlink:href=\"missing.png\"/>\n</svg>");
        const auto doc = load(path);
        QCOMPARE(doc->skippedEntities["image (linked file not found)"], 2);
        const QImage page = renderPage(doc, QSize(300, 100));
        COMPARE_PIXEL(page, 50, 50, QColor(255, 0, 0)); // found beside the drawing
        COMPARE_PIXEL(page, 150, 50, QColor(255, 255, 255));
    }

    void recognisedByContent() {
        const QByteArray svg = "\xef\xbb\xbf<?xml version=\"1.0\"?>\n<!-- made by hand -->\n"
                               "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
                               "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">\n"
                               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10mm\" "
                               "height=\"10mm\"><rect width=\"5\" height=\"5\"/></svg>";
        const auto doc = load(write("drawing.xml", svg));
        QCOMPARE(doc->format, QString("SVG"));
        const Reader* r = ReaderRegistry::builtin().choose(svg, "png");
        QVERIFY(r);
        QCOMPARE(r->name(), QString("SVG"));
        QFile packed(kData + "layers.svgz");
        QVERIFY(packed.open(QIODevice::ReadOnly));
        r = ReaderRegistry::builtin().choose(packed.read(4096), "gz");
        QVERIFY(r);
        QCOMPARE(r->name(), QString("SVG"));
        QVERIFY(!ReaderRegistry::builtin().choose("<html><svg></svg></html>", "txt"));
    }

    void brokenFilesGiveClearErrors_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("malformed XML") << kData + "malformed.svg"
                                       << "malformed XML at line 5, column 6";
        QTest::newRow("not an SVG root") << kData + "not_svg.svg"
                                         << "<html>";
        QTest::newRow("gzip bomb") << kData + "bomb.svgz"
                                   << "more than 256 MB";
        QFile f(kData + "layers.svgz");
        f.open(QIODevice::ReadOnly);
        const QByteArray packed = f.readAll();
        QTest::newRow("cut-off svgz")
            << write("cut.svgz", packed.left(packed.size() / 2)) << "cut off";
        QByteArray damaged = packed;
        for (int i = 20; i < 60; ++i)
            damaged[i] = char(0xff);
        QTest::newRow("damaged svgz") << write("damaged.svgz", damaged) << "damaged";
        QByteArray deep = "<svg xmlns=\"http://www.w3.org/2000/svg\">";
        for (int i = 0; i < 2000; ++i)
            deep += "<g>";
        QTest::newRow("nesting") << write("deep.svg", deep) << "nested deeper";
        QTest::newRow("empty root") << write("cut.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"")
                                    << "malformed XML at line 1";
    }

    void brokenFilesGiveClearErrors() {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const QString message = loadError(file);
        QVERIFY2(message.contains(file) && message.contains(expected), qPrintable(message));
    }

    void progressRunsToTheEnd() {
        QFile f(kData + "layers.svg");
        QVERIFY(f.open(QIODevice::ReadOnly));
        std::vector<int> seen;
        readSvgBytes(f.readAll(), "layers.svg", [&](int p) { seen.push_back(p); });
        QVERIFY(!seen.empty());
        QCOMPARE(seen.back(), 100);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    }
};

QTEST_MAIN(TestSvgReader)
#include "test_svg_reader.moc"
