#include "test_support.h"

#include "dev_service.h"
#include "net/chttp_request.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTcpSocket>

class TestDevService : public QObject {
    Q_OBJECT

private:
    // Sends raw bytes and returns the status line of the answer. The service shares this
    // thread, so the wait must keep the event loop running.
    static QByteArray rawExchange(quint16 port, const QByteArray& bytes) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write(bytes);
        QByteArray answer;
        (void)QTest::qWaitFor(
            [&] {
                answer += socket.readAll();
                return answer.contains("\r\n");
            },
            20000);
        return answer.left(answer.indexOf("\r\n"));
    }

private slots:
    void demoScenarioServesTheEndpoints() {
        DevService service;
        QString error;
        QVERIFY2(service.loadScenarioFile(QStringLiteral(DEMO_SCENARIO), &error),
                 qPrintable(error));
        QVERIFY(service.listen());
        int status;
        Json::Value v = CHttpRequest(service.baseUrl() + "/message/getMessage").get(&status, 5000);
        QCOMPARE(status, int(ReplyOk));
        QCOMPARE(v["ret"].asInt(), 1);
        QVERIFY(v["body"]["msgData"].isString());
        v = CHttpRequest(service.baseUrl() + "/couponActivity/getTimingCoupon?userId=42")
                .get(&status, 5000);
        QCOMPARE(v["coupon"]["couponMoney"].asString(), std::string("10"));
        QCOMPARE(service.requestCount("/couponActivity/getTimingCoupon"), 1);
        QCOMPARE(service.requests().last().query, QStringLiteral("userId=42"));
        QCOMPARE(service.requestCount("/user/getTempSession"), 0);
    }

    void scenariosNameTheServiceItself() {
        DevService service;
        QString error;
        QVERIFY2(service.loadScenarioFile(QStringLiteral(DEMO_SCENARIO), &error),
                 qPrintable(error));
        QVERIFY(service.listen());
        int status;
        const Json::Value v =
            CHttpRequest(service.baseUrl() + "/message/getMessage").get(&status, 5000);
        QCOMPARE(status, int(ReplyOk));
        const QString record = QString::fromStdString(v["body"]["msgData"].asString());
        QVERIFY2(record.contains(service.baseUrl() + "/user/index"), qPrintable(record));
        QVERIFY(!record.contains(QStringLiteral("{{base}}")));
    }

    void badScenariosAreRefused_data() {
        QTest::addColumn<QByteArray>("scenario");
        QTest::newRow("route not an object") << QByteArray(R"({"routes":{"/a":3}})");
        QTest::newRow("path without slash") << QByteArray(R"({"routes":{"a":{}}})");
        QTest::newRow("bad status") << QByteArray(R"({"routes":{"/a":{"status":42}}})");
        QTest::newRow("header injection")
            << QByteArray(R"({"routes":{"/a":{"status":302,"location":"/b\r\nX: y"}}})");
    }
    void badScenariosAreRefused() {
        QFETCH(QByteArray, scenario);
        DevService service;
        service.setRoute("/kept", DevRoute::json("1"));
        QString error;
        QVERIFY(!service.loadScenario(QJsonDocument::fromJson(scenario).object(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(service.listen());
        int status;
        QCOMPARE(CHttpRequest(service.baseUrl() + "/kept").get(&status, 5000).asInt(), 1);
    }

    void malformedRequestsGetAClearAnswer() {
        DevService service;
        QVERIFY(service.listen());
        QCOMPARE(rawExchange(service.port(), "NONSENSE\r\n\r\n"),
                 QByteArray("HTTP/1.1 400 Bad Request"));
        QCOMPARE(rawExchange(service.port(), "GET /x HTTP/1.1\r\nX: " + QByteArray(20000, 'a')),
                 QByteArray("HTTP/1.1 431 Request Header Fields Too Large"));
        QCOMPARE(rawExchange(service.port(), "GET /unknown HTTP/1.1\r\n\r\n"),
                 QByteArray("HTTP/1.1 404 Not Found"));
    }

    void standaloneProgramServesAndLogs() {
        QProcess program;
        program.start(
            QStringLiteral(DEVSERVICE_EXE),
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral(DEMO_SCENARIO)});
        QVERIFY(program.waitForStarted(20000));
        QByteArray out;
        while (!out.contains('\n') && program.waitForReadyRead(20000))
            out += program.readAllStandardOutput();
        QVERIFY2(out.startsWith("listening on http://127.0.0.1:"), out.constData());
        const QString base = QString::fromUtf8(out.mid(13, out.indexOf('\n') - 13)).trimmed();

        int status;
        const Json::Value v =
            CHttpRequest(base + "/user/getTempSession?userName=a&userId=1").get(&status, 10000);
        QCOMPARE(status, int(ReplyOk));
        QCOMPARE(v["tempSession"].asString(), std::string("demo-session"));
        QTRY_VERIFY_WITH_TIMEOUT((out += program.readAllStandardOutput())
                                     .contains("GET /user/getTempSession?userName=a&userId=1"),
                                 20000);
        program.kill();
        program.waitForFinished(20000);
    }

    void standaloneProgramRejectsABadScenario() {
        QProcess program;
        program.start(QStringLiteral(DEVSERVICE_EXE),
                      {QStringLiteral("/nonexistent/scenario.json")});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(program.readAllStandardError().contains("/nonexistent/scenario.json"));
    }
};

TIDEWELL_TEST_MAIN(TestDevService)
#include "tst_dev_service.moc"
