// Halving raster images for the zoomed-out view.

#include "formats/raster/RasterPyramid.h"

#include <QTest>

using namespace dv::raster;

class TestRasterPyramid : public QObject {
    Q_OBJECT

private slots:
    void halveAveragesEachBlock();
    void halveKeepsOddEdges();
    void halveKeepsPremultipliedAlphaValid();
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
