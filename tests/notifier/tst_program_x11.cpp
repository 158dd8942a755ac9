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

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QFAIL("xdotool is needed to act on the popup as a user would");
        QVERIFY(runtime.isValid());
        QVERIFY(service.listen());
    }

    void popupRestsBottomRightAndClosingEndsTheProgram() {
        clearState();
        const QJsonObject rec{{"title", "Quillon 8"}, {"brief", "Night mode"}};
        const QJsonObject body{
            {"type", "1"},
            {"id", "7001"},
            {"msgData", QString::fromUtf8(QJsonDocument(rec).toJson(QJsonDocument::Compact))}};
        service.setRoute("/message/getMessage",
                         DevRoute::json(QJsonDocument(QJsonObject{{"ret", 1}, {"body", body}})
                                            .toJson(QJsonDocument::Compact)));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TIDEWELL_BASE_URL", service.baseUrl());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        p.setProcessEnvironment(env);
        p.setProgram(QStringLiteral(TIDEWELL_EXE));
        p.start();
        QVERIFY(p.waitForStarted());

        QTRY_COMPARE_WITH_TIMEOUT(storedState("LastId").toString(), QStringLiteral("7001"), 30000);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QRect popup;
        // The slide-in lasts a fifth of a second; wait for it to come to rest.
        QTRY_VERIFY_WITH_TIMEOUT((popup = windowGeometry(p.processId())).isValid() &&
                                     popup.bottomRight() == screen.bottomRight(),
                                 15000);
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
};

TIDEWELL_TEST_MAIN(TestProgramX11)
#include "tst_program_x11.moc"
