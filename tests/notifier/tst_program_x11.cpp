#include "test_support.h"

#include "dev_service.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

// The real program on a real X server, seen from outside as a user sees it: the popup
// comes to rest in the bottom-right corner, and closing it ends the program.
class TestProgramX11 : public QObject {
    Q_OBJECT

    DevService service;
    QTemporaryDir runtime;

    // Runs xdotool; false when it failed.
    static bool xdotool(const QStringList& args, QString* output = nullptr) {
        QProcess p;
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            return false;
        if (output)
            *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        return true;
    }

    static QRect windowGeometry(qint64 pid) {
        QString ids, shell;
        if (!xdotool({"search", "--onlyvisible", "--pid", QString::number(pid)}, &ids) ||
            ids.isEmpty() ||
            !xdotool({"getwindowgeometry", "--shell", ids.split('\n').first()}, &shell))
            return {};
        QMap<QString, int> v;
        for (const QString& line : shell.split('\n')) {
            const auto kv = line.split('=');
            if (kv.size() == 2)
                v[kv[0]] = kv[1].toInt();
        }
        return QRect(v.value("X"), v.value("Y"), v.value("WIDTH"), v.value("HEIGHT"));
    }

    // A fresh day with one text message waiting, and the program started against it.
    void startWithAMessage(QProcess& p) {
        clearState();
        const QJsonObject rec{{"title", "Quillon 8"}, {"brief", "Night mode"}};
        const QJsonObject body{
            {"type", "1"},
            {"id", "7001"},
            {"msgData", QString::fromUtf8(QJsonDocument(rec).toJson(QJsonDocument::Compact))}};
        service.setRoute("/message/getMessage",
                         DevRoute::json(QJsonDocument(QJsonObject{{"ret", 1}, {"body", body}})
                                            .toJson(QJsonDocument::Compact)));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TIDEWELL_BASE_URL", service.baseUrl());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        p.setProcessEnvironment(env);
        p.setProgram(QStringLiteral(TIDEWELL_EXE));
        p.start();
        QVERIFY(p.waitForStarted());
    }

    // Once the message is shown, where the popup comes to rest: the bottom-right corner.
    void waitForRestingPopup(QProcess& p, QRect* popup) {
        QTRY_COMPARE_WITH_TIMEOUT(storedState("LastId").toString(), QStringLiteral("7001"), 30000);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        // The slide-in lasts a fifth of a second; wait for it to come to rest.
        QTRY_VERIFY_WITH_TIMEOUT((*popup = windowGeometry(p.processId())).isValid() &&
                                     popup->bottomRight() == screen.bottomRight(),
                                 15000);
    }

    // The X server's resource database, which Qt reads its logical dpi from at start-up.
    static bool setXftDpi(int dpi) {
        QProcess p;
        p.start(QStringLiteral("xprop"),
                {"-root", "-format", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                 QStringLiteral("Xft.dpi:\t%1\n").arg(dpi)});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QFAIL("xdotool is needed to act on the popup as a user would");
        QVERIFY(runtime.isValid());
        QVERIFY(service.listen());
    }

    void popupRestsBottomRightAndClosingEndsTheProgram() {
        QProcess p;
        startWithAMessage(p);

        QRect popup;
        waitForRestingPopup(p, &popup);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(popup.size(), QSize(300, 200));
        QCOMPARE(p.state(), QProcess::Running); // the popup keeps the program alive

        // The close button sits at the right end of the title bar.
        const QPoint close(popup.right() - 14, popup.top() + 15);
        QVERIFY(xdotool(
            {"mousemove", QString::number(close.x()), QString::number(close.y()), "click", "1"}));
        QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 15000);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(service.requestCount("/message/getMessage"), 1);
    }

    // Up to 120 dpi the popup keeps its 96 dpi size; above, it grows by dpi / 96, once.
    void popupSizeAtEachResolution_data() {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QSize>("size");
        QTest::newRow("96") << 96 << QSize(300, 200);
        QTest::newRow("108") << 108 << QSize(300, 200);
        QTest::newRow("120") << 120 << QSize(300, 200);
        QTest::newRow("144") << 144 << QSize(450, 300);
        QTest::newRow("192") << 192 << QSize(600, 400);
    }
    void popupSizeAtEachResolution() {
        QFETCH(int, dpi);
        QFETCH(QSize, size);
        if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            QSKIP("xprop is needed to set the X server's Xft.dpi");
        QVERIFY(setXftDpi(dpi));
        QProcess p;
        startWithAMessage(p);
        QRect popup;
        waitForRestingPopup(p, &popup);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(popup.size(), size);
        p.kill();
        QVERIFY(p.waitForFinished(10000));
        QVERIFY(setXftDpi(96));
    }
};

TIDEWELL_TEST_MAIN(TestProgramX11)
#include "tst_program_x11.moc"
