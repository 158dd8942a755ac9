// Halving raster images for the zoomed-out view.

#include "formats/raster/RasterPyramid.h"

#include <QRandomGenerator>
#include <QTest>

using namespace dv::raster;

class TestRasterPyramid : public QObject {
    Q_OBJECT

private slots:
    void halveAveragesEachBlock();
    void halveKeepsOddEdges();
    void halveKeepsPremultipliedAlphaValid();
    void halveOfLargeImageMatchesPlainAverages();
    void levelsStopAtTheLongSide_data();
    void levelsStopAtTheLongSide();
    void progressEndsAtHundred();
};

void TestRasterPyramid::halveAveragesEachBlock() {
    QImage src(4, 2, QImage::Format_RGB32);
    src.setPixel(0, 0, qRgb(0, 0, 0));
    src.setPixel(1, 0, qRgb(255, 255, 255));
    src.setPixel(0, 1, qRgb(255, 255, 255));
    src.setPixel(1, 1, qRgb(255, 255, 254));
    // 191.25 and 191.0 round to 191; channels do not bleed into each other.
    src.setPixel(2, 0, qRgb(1, 0, 255));
    src.setPixel(3, 0, qRgb(2, 0, 255));
    src.setPixel(2, 1, qRgb(1, 255, 0));
    src.setPixel(3, 1, qRgb(2, 255, 0));
    const QImage half = halve(src);
    QCOMPARE(half.size(), QSize(2, 1));
    QCOMPARE(half.format(), QImage::Format_RGB32);
    QCOMPARE(half.pixel(0, 0), qRgb(191, 191, 191));
    QCOMPARE(half.pixel(1, 0), qRgb(2, 128, 128)); // 1.5 -> 2, 127.5 -> 128
}

void TestRasterPyramid::halveKeepsOddEdges() {
    QImage src(3, 3, QImage::Format_RGB32);
    src.fill(qRgb(10, 10, 10));
    src.setPixel(2, 0, qRgb(90, 0, 0));
    src.setPixel(2, 1, qRgb(30, 0, 0));
    src.setPixel(0, 2, qRgb(0, 50, 0));
    src.setPixel(1, 2, qRgb(0, 70, 0));
    src.setPixel(2, 2, qRgb(0, 0, 200));
    const QImage half = halve(src);
    QCOMPARE(half.size(), QSize(2, 2));
    QCOMPARE(half.pixel(1, 0), qRgb(60, 0, 0)); // the last column with itself
    QCOMPARE(half.pixel(0, 1), qRgb(0, 60, 0)); // the last row with itself
    QCOMPARE(half.pixel(1, 1), qRgb(0, 0, 200));

    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(qRgb(7, 8, 9));
    QCOMPARE(halve(dot).size(), QSize(1, 1));
    QCOMPARE(halve(dot).pixel(0, 0), qRgb(7, 8, 9));
}

void TestRasterPyramid::halveKeepsPremultipliedAlphaValid() {
    QImage src(2, 2, QImage::Format_ARGB32_Premultiplied);
    src.setPixel(0, 0, qRgba(255, 0, 0, 255));
    src.setPixel(1, 0, qRgba(0, 0, 0, 0));
    src.setPixel(0, 1, qRgba(0, 0, 0, 0));
    src.setPixel(1, 1, qRgba(1, 1, 1, 1));
    const QImage half = halve(src);
    QCOMPARE(half.format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb p = half.pixel(0, 0);
    QCOMPARE(qAlpha(p), 64);
    QCOMPARE(qRed(p), 64);
    QVERIFY(qGreen(p) <= qAlpha(p) && qBlue(p) <= qAlpha(p));
}

void TestRasterPyramid::halveOfLargeImageMatchesPlainAverages() {
    // Large enough to be split into bands; odd sizes put a clamped row and
    // column at the end.
    QImage src(2401, 1799, QImage::Format_ARGB32_Premultiplied);
    QRandomGenerator random(7);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            const int a = int(random.bounded(256));
            src.setPixel(x, y,
                         qRgba(int(random.bounded(a + 1)), int(random.bounded(a + 1)),
                               int(random.bounded(a + 1)), a));
        }
    const QImage half = halve(src);
    QCOMPARE(half.size(), QSize(1201, 900));
    int mismatches = 0;
    for (int y = 0; y < half.height(); ++y)
        for (int x = 0; x < half.width(); ++x) {
            const int x0 = 2 * x, x1 = std::min(2 * x + 1, src.width() - 1);
            const int y0 = 2 * y, y1 = std::min(2 * y + 1, src.height() - 1);
            const QRgb p[4] = {src.pixel(x0, y0), src.pixel(x1, y0), src.pixel(x0, y1),
                               src.pixel(x1, y1)};
            const auto avg = [&](int (*channel)(QRgb)) {
                return (channel(p[0]) + channel(p[1]) + channel(p[2]) + channel(p[3]) + 2) / 4;
            };
            const QRgb expected = qRgba(avg(qRed), avg(qGreen), avg(qBlue), avg(qAlpha));
            if (half.pixel(x, y) != expected && ++mismatches < 5)
                qWarning("(%d,%d): %08x != %08x", x, y, half.pixel(x, y), expected);
        }
    QCOMPARE(mismatches, 0);
}

void TestRasterPyramid::levelsStopAtTheLongSide_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QSize>>("levels");
    QTest::newRow("small") << QSize(256, 256) << QList<QSize>{};
    QTest::newRow("just over") << QSize(257, 10) << QList<QSize>{QSize(129, 5)};
    QTest::newRow("tall") << QSize(3, 1100)
                          << QList<QSize>{QSize(2, 550), QSize(1, 275), QSize(1, 138)};
    QTest::newRow("landscape") << QSize(2048, 1536)
                               << QList<QSize>{QSize(1024, 768), QSize(512, 384), QSize(256, 192)};
}

void TestRasterPyramid::levelsStopAtTheLongSide() {
    QFETCH(QSize, size);
    QFETCH(QList<QSize>, levels);
    QImage src(size, QImage::Format_RGB32);
    src.fill(Qt::gray);
    const auto pyramid = buildPyramid(src);
    QList<QSize> sizes;
    for (const QImage& level : pyramid)
        sizes << level.size();
    QCOMPARE(sizes, levels);
}

void TestRasterPyramid::progressEndsAtHundred() {
    QImage src(2000, 1000, QImage::Format_RGB32);
    src.fill(Qt::gray);
    std::vector<int> seen;
    buildPyramid(src, 256, [&](int p) { seen.push_back(p); });
    QVERIFY(!seen.empty());
    QCOMPARE(seen.back(), 100);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QVERIFY(buildPyramid(QImage()).empty());
}

QTEST_GUILESS_MAIN(TestRasterPyramid)
#include "test_raster_pyramid.moc"
