// Hatches that name a predefined pattern without carrying its lines: the
// lines come from our own definitions, at the hatch's scale and angle.

#include "formats/Reader.h"

#include <QProcess>
#include <QtTest>

#include <cmath>
#include <numbers>
#include <set>

using namespace dv;

namespace {

QString fixture(const QString& name) {
    return QStringLiteral(TEST_DATA_DIR "/dxf/") + name;
}

struct Segment {
    Vec2 a, b;
    double angle() const { // degrees, 0..180
        double d = std::atan2(b.y - a.y, b.x - a.x) * 180 / std::numbers::pi;
        return d < 0 ? d + 180 : d >= 180 ? d - 180 : d;
    }
    double length() const { return std::hypot(b.x - a.x, b.y - a.y); }
};

// The two-point hatch segments whose both ends lie in [x0, x0 + 10].
std::vector<Segment> segmentsIn(const Document& d, double x0) {
    std::vector<Segment> out;
    const Block& b = d.blocks[size_t(d.blockIndex("*Model_Space"))];
    for (const Shape& s : b.shapes) {
        if (s.kind != ShapeKind::Polyline || s.count != 2 || (s.flags & Closed))
            continue;
        const Segment seg{b.points[s.first], b.points[s.first + 1]};
        if (seg.a.x >= x0 - 1e-9 && seg.a.x <= x0 + 10 + 1e-9 && seg.b.x >= x0 - 1e-9 &&
            seg.b.x <= x0 + 10 + 1e-9)
            out.push_back(seg);
    }
    return out;
}

bool allAt(const std::vector<Segment>& segs, double degrees) {
    return std::all_of(segs.begin(), segs.end(),
                       [&](const Segment& s) { return std::abs(s.angle() - degrees) < 1e-6; });
}

} // namespace

class TestDxfPatterns : public QObject {
    Q_OBJECT

    std::unique_ptr<Document> m_doc;

private slots:
    void initTestCase() {
        m_doc = ReaderRegistry::builtin().load(fixture("patterns.dxf"));
        QVERIFY(m_doc);
    }

    void ansi31IsDiagonalLinesAtItsScale() {
        const auto segs = segmentsIn(*m_doc, 0);
        // 1.25 apart across a 10 x 10 square's diagonal of 14.1: 11 lines.
        QVERIFY(segs.size() >= 10 && segs.size() <= 12);
        QVERIFY(allAt(segs, 45));
        for (const Segment& s : segs)
            QVERIFY(s.a.y >= -1e-9 && s.a.y <= 10 + 1e-9 && s.b.y >= -1e-9 && s.b.y <= 10 + 1e-9);
    }

    void hatchAngleTurnsThePattern() {
        const auto segs = segmentsIn(*m_doc, 60);
        QVERIFY(segs.size() >= 7);
        QVERIFY(allAt(segs, 90)); // 45 + 45
    }

    void brickHasCoursesAndStaggeredJoints() {
        const auto segs = segmentsIn(*m_doc, 20);
        std::set<double> courses, joints;
        for (const Segment& s : segs) {
            if (std::abs(s.angle()) < 1e-6) {
                QVERIFY(std::abs(s.a.y - s.b.y) < 1e-9);
                courses.insert(std::round(s.a.y * 1000) / 1000);
            } else {
                QVERIFY(std::abs(s.angle() - 90) < 1e-6);
                QVERIFY(s.length() <= 2.5 + 1e-9); // one course high
                joints.insert(std::round(s.a.x * 1000) / 1000);
            }
        }
        // Courses 2.5 apart; joints every 2.5 across, alternating by course.
        // (Lines along the boundary itself may be left to the outline.)
        courses.erase(0);
        courses.erase(10);
        QCOMPARE(courses, (std::set<double>{2.5, 5, 7.5}));
        QVERIFY(joints.size() >= 4);
    }

    void unknownNameFallsBackToPlainHatch() {
        const auto segs = segmentsIn(*m_doc, 40);
        QVERIFY(segs.size() >= 10);
        QVERIFY(allAt(segs, 45));
        QCOMPARE(m_doc->skippedEntities.at("HATCH pattern unknown (plain hatch drawn)"), 1);
    }

    void solidByNameIsFilledAndIsoIsDashed() {
        const Block& b = m_doc->blocks[size_t(m_doc->blockIndex("*Model_Space"))];
        QVERIFY(std::any_of(b.shapes.begin(), b.shapes.end(), [&](const Shape& s) {
            return s.kind == ShapeKind::Polygon && b.points[s.first].x >= 80 &&
                   b.points[s.first].x <= 90;
        }));
        // ISO dashed: dashes of 6 with gaps of 1.5, lines 2.5 apart.
        const auto segs = segmentsIn(*m_doc, 100);
        QVERIFY(allAt(segs, 0));
        QVERIFY(segs.size() >= 8);
        for (const Segment& s : segs)
            QVERIFY(s.length() <= 6 + 1e-9);
    }

    void renderedLinesStayInsideTheBoundary() {
        QTemporaryDir dir;
        const QString png = dir.filePath("probe.png");
        QProcess p;
        p.start(VISTREL_TOOL, {"render", fixture("patterns_probe.dxf"), png, "--size", "200x200"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QImage img = QImage(png).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!img.isNull());
        // Points at (-5,-5) and (15,15) frame the square: it fills the
        // middle half of the picture (the tool's border frame lies outside
        // the region probed).
        const QRgb bg = img.pixel(0, img.height() / 2);
        auto ink = [&](int x, int y) { return img.pixel(x, y) != bg; };
        const int w = img.width(), h = img.height();
        int inside = 0, outside = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool in =
                    x > w / 4 + 2 && x < 3 * w / 4 - 2 && y > h / 4 + 2 && y < 3 * h / 4 - 2;
                const bool out =
                    x < w / 4 - 3 || x > 3 * w / 4 + 3 || y < h / 4 - 3 || y > 3 * h / 4 + 3;
                if (in && ink(x, y))
                    ++inside;
                if (out && ink(x, y) && x > 15 && y > 15 && x < w - 16 && y < h - 16)
                    ++outside;
            }
        QVERIFY(inside > 300);
        QCOMPARE(outside, 0);
        // Along one row inside, ink comes in several separate runs (lines);
        // one row lower each run moves one pixel left (45 degrees, y down).
        const int y = h / 2;
        std::vector<int> starts, below;
        for (int x = w / 4 + 3; x < 3 * w / 4 - 3; ++x) {
            if (ink(x, y) && !ink(x - 1, y))
                starts.push_back(x);
            if (ink(x, y + 4) && !ink(x - 1, y + 4))
                below.push_back(x);
        }
        QVERIFY(starts.size() >= 4);
        auto shiftedBy = [&](int dx) {
            return std::count_if(below.begin(), below.end(), [&](int b) {
                return std::any_of(starts.begin(), starts.end(),
                                   [&](int a) { return std::abs(b - (a + dx)) <= 1; });
            });
        };
        QVERIFY(shiftedBy(-4) >= 4);
        QCOMPARE(shiftedBy(4), 0);
    }
};

QTEST_GUILESS_MAIN(TestDxfPatterns)
#include "test_dxf_patterns.moc"
