#include "test_support.h"

#include "dev_service.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace {

const QString kMessagePath = QStringLiteral("/message/getMessage");

QByteArray textMessage(const char* id) {
    const QJsonObject rec{{"title", "Quillon 8"}, {"brief", "Night mode"}};
    const QJsonObject body{
        {"type", "1"},
        {"id", id},
        {"msgData", QString::fromUtf8(QJsonDocument(rec).toJson(QJsonDocument::Compact))}};
    return QJsonDocument(QJsonObject{{"ret", 1}, {"body", body}}).toJson();
}

} // namespace

// The program as a user's session starts it: its own process, the dev service as web service.
class TestProgram : public QObject {
    Q_OBJECT

    DevService service;
    QTemporaryDir runtime; // where the single-instance guard lives

    void prepare(QProcess& p, const QStringList& args = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TIDEWELL_BASE_URL", service.baseUrl());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        p.setProcessEnvironment(env);
        p.setProgram(QStringLiteral(TIDEWELL_EXE));
        p.setArguments(args);
    }

    // Waits with the event loop running, so the in-process service can answer.
    static bool finishes(QProcess& p, int limitMs = 30000) {
        return QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, limitMs);
    }

private slots:
    void initTestCase() {
        QVERIFY(runtime.isValid());
        QVERIFY(service.listen());
    }
    void init() {
        clearState();
        service.clearLog();
    }

    void endsAtOnceWhenNothingIsShown() {
        service.setRoute(kMessagePath, DevRoute::json(R"({"ret":0})"));
        QProcess p;
        // Arguments the program does not know change nothing.
        prepare(p, {"--unknown", "value"});
        p.start();
        QVERIFY(finishes(p));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(service.requestCount(kMessagePath), 1);
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("1"));
    }

    void oneCopyAtATime() {
        service.setRoute(kMessagePath, DevRoute::json(textMessage("1001")));
        QProcess first;
        prepare(first);
        first.start();
        // The popup is up once the message is recorded; the program then waits for it.
        QTRY_COMPARE_WITH_TIMEOUT(storedState("LastId").toString(), QStringLiteral("1001"), 30000);
        QCOMPARE(first.state(), QProcess::Running);

        QProcess second;
        prepare(second);
        second.start();
        QVERIFY(finishes(second));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(service.requestCount(kMessagePath), 1); // the second copy asked nothing

        // A killed run leaves no guard behind.
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(finishes(first));
        service.setRoute(kMessagePath, DevRoute::json(R"({"ret":0})"));
        QProcess third;
        prepare(third);
        third.start();
        QVERIFY(finishes(third));
        QCOMPARE(third.exitCode(), 0);
        QCOMPARE(service.requestCount(kMessagePath), 2);
    }

    void spentDayEndsWithoutAsking() {
        service.setRoute(kMessagePath, DevRoute::json(R"({"ret":0})"));
        for (int run = 0; run < 3; ++run) {
            QProcess p;
            prepare(p);
            p.start();
            QVERIFY(finishes(p));
            QCOMPARE(p.exitCode(), 0);
        }
        QCOMPARE(service.requestCount(kMessagePath), 2);
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("0"));
    }
};

TIDEWELL_TEST_MAIN(TestProgram)
#include "tst_program.moc"
