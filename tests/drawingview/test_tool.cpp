#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run tool(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM"); // the tool must manage without a display by itself
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.start(VISTREL_TOOL, args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitCode(), p.readAllStandardOutput(),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

const QString entitiesDxf = QStringLiteral(TEST_DATA_DIR "/dxf/entities.dxf");

} // namespace

class TestTool : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void infoDescribesADrawing() {
        const Run r = tool({"info", entitiesDxf});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(r.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o["kind"].toString(), QString("drawing"));
        QCOMPARE(o["format"].toString(), QString("DXF"));
        QVERIFY(o["width"].toDouble() > 0 && o["height"].toDouble() > 0);
        QStringList layouts;
        for (const auto& l : o["layouts"].toArray()) {
            layouts << l.toObject()["name"].toString();
            QVERIFY(l.toObject()["extents"].toArray().size() == 4 ||
                    l.toObject()["extents"].toArray().isEmpty());
        }
        QCOMPARE(layouts.first(), QString("Model"));
        QVERIFY(layouts.contains(o["activeLayout"].toString()));
        bool walls = false;
        for (const auto& l : o["layers"].toArray()) {
            const QJsonObject layer = l.toObject();
            QVERIFY(layer["color"].toString().contains(QRegularExpression("^#[0-9a-f]{6}$")));
            if (layer["name"].toString() == "Walls")
                walls = layer["color"].toString() == "#ff0000" && layer["visible"].toBool();
        }
        QVERIFY(walls);
        QVERIFY(o["entities"].toObject()["Model"].toObject()["LINE"].toInt() >= 1);
        QVERIFY(o.contains("skipped") && o.contains("loadMs"));
        QCOMPARE(o["units"].toString(), QString("metres")); // $INSUNITS 6
        QVERIFY(!o.contains("measurement"));
    }

    void infoAndRenderOfARaster() {
        QImage png(64, 32, QImage::Format_RGB32);
        png.fill(Qt::blue);
        const QString in = m_dir.filePath("blue.png"), out = m_dir.filePath("out.png");
        QVERIFY(png.save(in));
        Run r = tool({"info", in});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(o["kind"].toString(), QString("raster"));
        QCOMPARE(o["width"].toInt(), 64);
        QCOMPARE(o["height"].toInt(), 32);

        r = tool({"render", in, out, "--size", "320x200"});
        QCOMPARE(r.exitCode, 0);
        const QImage shot(out);
        QCOMPARE(shot.size(), QSize(320, 200));
        QCOMPARE(shot.pixel(160, 100) & 0xFFFFFF, 0x0000FFu);
        QCOMPARE(shot.pixel(160, 2) & 0xFFFFFF, 0x808080u); // 2:1 leaves grey above
    }

    void renderDrawsTheChosenLayout() {
        const QString out = m_dir.filePath("model.png");
        Run r = tool({"render", entitiesDxf, out});
        QCOMPARE(r.exitCode, 0);
        QImage shot(out);
        QCOMPARE(shot.size(), QSize(1024, 768));
        QCOMPARE(shot.pixel(1, 1) & 0xFFFFFF, 0u); // model space on black
        int lit = 0;
        for (int y = 0; y < shot.height(); y += 2)
            for (int x = 0; x < shot.width(); x += 2)
                lit += (shot.pixel(x, y) & 0xFFFFFF) != 0;
        QVERIFY(lit > 100);

        const QString sheet = m_dir.filePath("sheet.png");
        r = tool({"render", entitiesDxf, sheet, "--layout", "sheet a", "--size", "200x100"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QImage(sheet).pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu); // paper on white
    }

    void errorsAreReported() {
        Run r = tool({"info", m_dir.filePath("absent.dxf")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("absent.dxf"));
        QVERIFY(r.out.isEmpty());

        r = tool({"render", entitiesDxf, m_dir.filePath("x.png"), "--layout", "Nope"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Nope"));

        r = tool({"render", entitiesDxf, m_dir.filePath("no/such/dir/x.png")});
        QCOMPARE(r.exitCode, 1);

        for (const QStringList& bad :
             {QStringList{}, QStringList{"info"}, QStringList{"frobnicate", entitiesDxf},
              QStringList{"render", entitiesDxf, "x.png", "--size", "0x10"},
              QStringList{"render", entitiesDxf, "x.png", "--size", "99999x10"},
              QStringList{"render", entitiesDxf, "x.png", "--size"}}) {
            r = tool(bad);
            QCOMPARE(r.exitCode, 2);
            QVERIFY(!r.err.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestTool)
#include "test_tool.moc"
