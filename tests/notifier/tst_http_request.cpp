#include "test_support.h"

#include "dev_service.h"
#include "net/chttp_request.h"

#include <json/writer.h>

#include <QTcpServer>
#include <QTimer>

class TestHttpRequest : public QObject {
    Q_OBJECT

private:
    DevService service;

    QString url(const QString& path) const { return service.baseUrl() + path; }

    Json::Value fetch(const QString& path, int* status, int timeoutMs = 3000) {
        *status = -1;
        return CHttpRequest(url(path)).get(status, timeoutMs);
    }

private slots:
    void initTestCase() { QVERIFY(service.listen()); }
    void init() { service.clearLog(); }

    void jsonBodies_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("isNull");
        QTest::addColumn<QString>("dump");
        QTest::newRow("object") << QByteArray(R"({"a":"x","n":1})") << false
                                << R"({"a":"x","n":1})";
        QTest::newRow("bare number") << QByteArray("42") << false << "42";
        QTest::newRow("array") << QByteArray("[1,2]") << false << "[1,2]";
        QTest::newRow("comments") << QByteArray("// note\n{\"a\":1}") << false << R"({"a":1})";
        QTest::newRow("cut at zero byte")
            << QByteArray("{\"a\":1}\0{garbage", 16) << false << R"({"a":1})";
        QTest::newRow("zero byte first") << QByteArray("\0{\"a\":1}", 8) << true << "null";
        QTest::newRow("not json") << QByteArray("<html>oops</html>") << true << "null";
        QTest::newRow("truncated") << QByteArray(R"({"a":)") << true << "null";
        QTest::newRow("empty body") << QByteArray() << true << "null";
    }
    void jsonBodies() {
        QFETCH(QByteArray, body);
        QFETCH(bool, isNull);
        QFETCH(QString, dump);
        service.setRoute("/body", DevRoute::json(body));
        int status;
        const Json::Value v = fetch("/body", &status);
        QCOMPARE(status, int(ReplyOk));
        QCOMPARE(v.isNull(), isNull);
        Json::StreamWriterBuilder w;
        w["indentation"] = "";
        w["commentStyle"] = "None";
        QCOMPARE(QString::fromStdString(Json::writeString(w, v)), dump);
    }

    void errorStatuses_data() {
        QTest::addColumn<int>("httpStatus");
        QTest::addColumn<int>("expected");
        QTest::newRow("404") << 404 << int(ReplyNotFound);
        QTest::newRow("500") << 500 << int(ReplyFailed);
        QTest::newRow("403") << 403 << int(ReplyFailed);
    }
    void errorStatuses() {
        QFETCH(int, httpStatus);
        QFETCH(int, expected);
        DevRoute r = DevRoute::json(R"({"a":1})");
        r.status = httpStatus;
        service.setRoute("/err", r);
        int status;
        QVERIFY(fetch("/err", &status).isNull());
        QCOMPARE(status, expected);
    }

    void refusedConnection() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        int status = -1;
        const Json::Value v = CHttpRequest(QStringLiteral("http://127.0.0.1:%1/x").arg(closedPort))
                                  .get(&status, 3000);
        QVERIFY(v.isNull());
        QCOMPARE(status, int(ReplyFailed));
    }

    // Each byte restarts the limit, so a transfer of about 3 s completes under a 1.5 s limit.
    void trickleUnderTheLimitCompletes() {
        DevRoute r = DevRoute::json(R"({"k":123})");
        r.delayMs = 300;
        r.trickleMs = 300;
        service.setRoute("/slow", r);
        int status;
        const Json::Value v = fetch("/slow", &status, 1500);
        QCOMPARE(status, int(ReplyOk));
        QVERIFY(v.isObject());
        QCOMPARE(v["k"].asInt(), 123);
    }

    void silenceTimesOutAndAborts() {
        DevRoute r;
        r.hang = true;
        service.setRoute("/hang", r);
        int status;
        const Json::Value v = fetch("/hang", &status, 400);
        QCOMPARE(status, int(ReplyPending));
        QVERIFY(v.isNull());
        QCOMPARE(service.requestCount("/hang"), 1);
        // The helper dropped the connection when it returned.
        QTRY_COMPARE_WITH_TIMEOUT(service.openConnections(), 0, 20000);
    }

    void relativeRedirectIsFollowed() {
        service.setRoute("/a/start", DevRoute::redirect(302, "next?x=1"));
        service.setRoute("/a/next", DevRoute::json(R"({"hop":2})"));
        int status;
        const Json::Value v = fetch("/a/start", &status);
        QCOMPARE(status, int(ReplyOk));
        QCOMPARE(v["hop"].asInt(), 2);
        QCOMPARE(service.requestCount("/a/next"), 1);
        QCOMPARE(service.requests().last().query, QStringLiteral("x=1"));
    }

    void absoluteRedirectIsFollowed() {
        service.setRoute("/moved", DevRoute::redirect(301, url("/here").toUtf8()));
        service.setRoute("/here", DevRoute::json("[true]"));
        int status;
        const Json::Value v = fetch("/moved", &status);
        QCOMPARE(status, int(ReplyOk));
        QVERIFY(v.isArray());
    }

    // The follow-up request gets 4000 ms whatever the first one had.
    void redirectHopUsesItsOwnLimit() {
        service.setRoute("/quick", DevRoute::redirect(302, "/late"));
        DevRoute late = DevRoute::json(R"({"late":true})");
        late.delayMs = 2000;
        service.setRoute("/late", late);
        int status;
        const Json::Value v = fetch("/quick", &status, 1000);
        QCOMPARE(status, int(ReplyOk));
        QVERIFY(v["late"].asBool());
    }

    void statusIsThatOfTheLastHop() {
        service.setRoute("/to-missing", DevRoute::redirect(302, "/nowhere"));
        int status;
        QVERIFY(fetch("/to-missing", &status).isNull());
        QCOMPARE(status, int(ReplyNotFound));
    }

    void redirectLoopEnds() {
        service.setRoute("/loop", DevRoute::redirect(302, "/loop"));
        int status;
        QVERIFY(fetch("/loop", &status).isNull());
        QCOMPARE(status, int(ReplyFailed));
        QCOMPARE(service.requestCount("/loop"), 1 + CHttpRequest::kMaxRedirects);
    }

    void fiveRedirectsAreStillFollowed() {
        for (int i = 0; i < CHttpRequest::kMaxRedirects; ++i)
            service.setRoute(
                QStringLiteral("/chain%1").arg(i),
                DevRoute::redirect(302, QStringLiteral("/chain%1").arg(i + 1).toUtf8()));
        service.setRoute(QStringLiteral("/chain%1").arg(CHttpRequest::kMaxRedirects),
                         DevRoute::json(R"({"end":1})"));
        int status;
        const Json::Value v = fetch("/chain0", &status);
        QCOMPARE(status, int(ReplyOk));
        QCOMPARE(v["end"].asInt(), 1);
    }

    void redirectWithoutTargetFails() {
        service.setRoute("/nolocation", DevRoute::redirect(302, QByteArray()));
        int status;
        QVERIFY(fetch("/nolocation", &status).isNull());
        QCOMPARE(status, int(ReplyFailed));
        QCOMPARE(service.requestCount("/nolocation"), 1);
    }

    void redirectToOtherSchemesIsNotFollowed_data() {
        QTest::addColumn<QByteArray>("location");
        QTest::newRow("file") << QByteArray("file:///etc/hostname");
        QTest::newRow("data") << QByteArray("data:application/json,{\"a\":1}");
        QTest::newRow("ftp") << QByteArray("ftp://127.0.0.1/x.json");
    }
    void redirectToOtherSchemesIsNotFollowed() {
        QFETCH(QByteArray, location);
        service.setRoute("/elsewhere", DevRoute::redirect(302, location));
        int status;
        QVERIFY(fetch("/elsewhere", &status).isNull());
        QCOMPARE(status, int(ReplyFailed));
    }

    void hugeBodyFails() {
        DevRoute r;
        r.hugeBytes = 3 * CHttpReply::kMaxBodyBytes;
        service.setRoute("/huge", r);
        int status;
        QVERIFY(fetch("/huge", &status).isNull());
        QCOMPARE(status, int(ReplyFailed));
        QTRY_COMPARE_WITH_TIMEOUT(service.openConnections(), 0, 20000);
    }

    void bodyAtTheCapIsKept() {
        // A JSON string exactly filling the cap.
        QByteArray body(CHttpReply::kMaxBodyBytes, 'a');
        body[0] = '"';
        body[body.size() - 1] = '"';
        service.setRoute("/big", DevRoute::json(body));
        int status;
        const Json::Value v = fetch("/big", &status);
        QCOMPARE(status, int(ReplyOk));
        QCOMPARE(qsizetype(v.asString().size()), body.size() - 2);
    }

    // Other timers of the program keep running while the caller waits.
    void waitKeepsTimersRunning() {
        DevRoute r = DevRoute::json("{}");
        r.delayMs = 1000;
        service.setRoute("/wait", r);
        bool timerRan = false;
        QTimer::singleShot(50, [&timerRan] { timerRan = true; });
        int status;
        fetch("/wait", &status);
        QCOMPARE(status, int(ReplyOk));
        QVERIFY(timerRan);
    }
};

TIDEWELL_TEST_MAIN(TestHttpRequest)
#include "tst_http_request.moc"
