#include "test_support.h"

#include "dev_service.h"
#include "net/service_fetch.h"

#include <QTimer>

using tidewell::FetchResult;
using tidewell::fetchServiceBody;

class TestServiceFetch : public QObject {
    Q_OBJECT

private:
    DevService service;

    // True when the service answered with a readable body.
    bool fetch(const QString& path, QByteArray* body, int limitMs = 10000) {
        return fetchServiceBody(service.baseUrl() + path, limitMs, body) == FetchResult::Answered;
    }

private slots:
    void initTestCase() { QVERIFY(service.listen()); }
    void init() { service.clearLog(); }

    void bodyUpToTheZeroByte() {
        service.setRoute("/m", DevRoute::json(QByteArray("{\"ret\":0}\0tail", 14)));
        QByteArray body;
        QVERIFY(fetch("/m", &body));
        QCOMPARE(body, QByteArray(R"({"ret":0})"));
    }

    void errorsAreFailures_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("404") << 404;
        QTest::newRow("500") << 500;
    }
    void errorsAreFailures() {
        QFETCH(int, status);
        DevRoute r = DevRoute::json("{}");
        r.status = status;
        service.setRoute("/e", r);
        QByteArray body = "old";
        QVERIFY(!fetch("/e", &body));
        QVERIFY(body.isEmpty());
    }

    void silenceEndsAtTheLimitAndAborts() {
        DevRoute r;
        r.hang = true;
        service.setRoute("/hang", r);
        QByteArray body;
        QVERIFY(!fetch("/hang", &body, 500));
        QTRY_COMPARE_WITH_TIMEOUT(service.openConnections(), 0, 20000);
    }

    // The limit covers the whole answer: a trickle cannot hold the run open.
    void trickleBeyondTheLimitFails() {
        DevRoute r = DevRoute::json(R"({"ret":0,"pad":"..........."})");
        r.trickleMs = 200;
        service.setRoute("/trickle", r);
        QByteArray body;
        QVERIFY(!fetch("/trickle", &body, 1000));
    }

    // Over the cap is still the service's answer, with nothing to read; an error page over
    // the cap stays an error.
    void hugeBodyIsAnAnswerTooLarge() {
        DevRoute r;
        r.hugeBytes = 2 * tidewell::kMaxBodyBytes;
        service.setRoute("/huge", r);
        QByteArray body = "old";
        QCOMPARE(fetchServiceBody(service.baseUrl() + "/huge", 10000, &body),
                 FetchResult::TooLarge);
        QVERIFY(body.isEmpty());

        r.hugeBytes = tidewell::kMaxBodyBytes + 1;
        service.setRoute("/just-over", r);
        QCOMPARE(fetchServiceBody(service.baseUrl() + "/just-over", 10000, &body),
                 FetchResult::TooLarge);
        r.hugeBytes = tidewell::kMaxBodyBytes;
        service.setRoute("/at-cap", r);
        QVERIFY(fetch("/at-cap", &body));
        QCOMPARE(body.size(), tidewell::kMaxBodyBytes);

        r.hugeBytes = 2 * tidewell::kMaxBodyBytes;
        r.status = 500;
        service.setRoute("/huge-error", r);
        QCOMPARE(fetchServiceBody(service.baseUrl() + "/huge-error", 10000, &body),
                 FetchResult::Failed);
    }

    void redirects() {
        service.setRoute("/r1", DevRoute::redirect(302, "r2"));
        service.setRoute("/r2", DevRoute::json(R"({"ok":1})"));
        service.setRoute("/loop", DevRoute::redirect(301, "/loop"));
        service.setRoute("/file", DevRoute::redirect(302, "file:///etc/hostname"));
        QByteArray body;
        QVERIFY(fetch("/r1", &body));
        QCOMPARE(body, QByteArray(R"({"ok":1})"));
        QVERIFY(!fetch("/loop", &body));
        // Qt counts its limit with one hop of slack, and may send a request again when the
        // service closes a connection Qt meant to reuse; what matters is that the loop ends.
        const int hops = service.requestCount("/loop");
        QVERIFY2(hops <= 2 * (2 + tidewell::kMaxRedirects), qPrintable(QString::number(hops)));
        QVERIFY(!fetch("/file", &body));
    }

    void otherEventsRunDuringTheWait() {
        DevRoute r = DevRoute::json("{}");
        r.delayMs = 1000;
        service.setRoute("/slow", r);
        bool timerRan = false;
        QTimer::singleShot(50, [&timerRan] { timerRan = true; });
        QByteArray body;
        QVERIFY(fetch("/slow", &body));
        QVERIFY(timerRan);
    }
};

TIDEWELL_TEST_MAIN(TestServiceFetch)
#include "tst_service_fetch.moc"
