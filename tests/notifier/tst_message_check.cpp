#include "test_support.h"

#include "core/clock.h"
#include "core/endpoints.h"
#include "core/msg_manager.h"
#include "dev_service.h"
#include "popups/tidewell_widget_base.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace {

const QDate kDay(2026, 5, 20);
const QString kMessagePath = QStringLiteral("/message/getMessage");

QByteArray reply(const QJsonValue& type, const QJsonValue& id, const QJsonValue& msgData,
                 const QJsonValue& ret = 1) {
    QJsonObject body{{"type", type}, {"id", id}, {"msgData", msgData}};
    return QJsonDocument(QJsonObject{{"ret", ret}, {"body", body}}).toJson();
}

QString recordText(const QJsonObject& record) {
    return QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
}

const QJsonObject kRecord{{"title", "Quillon 8"}, {"brief", "Night mode"}};

// The popups the run put on the screen.
QList<TidewellWidgetBase*> shownPopups() {
    QList<TidewellWidgetBase*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<TidewellWidgetBase*>(w); p && p->isVisible())
            out << p;
    return out;
}

} // namespace

class TestMessageCheck : public QObject {
    Q_OBJECT

    DevService service;

    void serve(const QByteArray& body) { service.setRoute(kMessagePath, DevRoute::json(body)); }

    bool runOnce() {
        MsgManager manager;
        return manager.start();
    }

private slots:
    void initTestCase() {
        QVERIFY(service.listen());
        tidewell::setBaseUrl(service.baseUrl());
        tidewell::setTodayOverride(kDay);
    }
    void init() {
        clearState();
        service.clearLog();
        tidewell::setBaseUrl(service.baseUrl());
    }
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            delete w;
    }

    void textMessageIsShownAndRemembered() {
        serve(reply("1", "1001", recordText(kRecord)));
        QVERIFY(runOnce());
        const auto popups = shownPopups();
        QCOMPARE(popups.size(), 1);
        QCOMPARE(QString::fromLatin1(popups.first()->metaObject()->className()),
                 QStringLiteral("TidewellWidgetBase"));
        QCOMPARE(popups.first()->title, QStringLiteral("Quillon 8"));
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("1001"));
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("1"));
        QCOMPARE(service.requestCount(QStringLiteral("/couponActivity/getTimingCoupon")), 0);
        cleanup();

        // The same message on the next run is not shown again, but the request counts.
        QVERIFY(!runOnce());
        QVERIFY(shownPopups().isEmpty());
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("0"));
        QCOMPARE(service.requestCount(kMessagePath), 2);

        // The day's budget is spent: the third run asks nothing at all.
        service.clearLog();
        QVERIFY(!runOnce());
        QVERIFY(service.requests().isEmpty());

        // A new day restores it.
        tidewell::setTodayOverride(kDay.addDays(1));
        serve(reply("1", "1002", recordText(kRecord)));
        QVERIFY(runOnce());
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("1002"));
        tidewell::setTodayOverride(kDay);
    }

    void otherTypesShowTheUpdateNotice() {
        serve(reply("3", "7", "{}"));
        QVERIFY(runOnce());
        const auto popups = shownPopups();
        QCOMPARE(popups.size(), 1);
        QCOMPARE(QString::fromLatin1(popups.first()->metaObject()->className()),
                 QStringLiteral("TidewellDefault"));
        QCOMPARE(popups.first()->jmpUrl, service.baseUrl() + QStringLiteral("/"));
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("7"));
    }

    // A zero byte ends the reply, whatever follows it.
    void bodyEndsAtTheFirstZeroByte() {
        serve(reply("1", "5", recordText(kRecord)) + QByteArray("\0{garbage", 9));
        QVERIFY(runOnce());
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("5"));
    }

    void nothingToShow_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("avaTimes"); // stored afterwards
        const QString rec = recordText(kRecord);
        QTest::newRow("ret 0") << reply("1", "9", rec, 0) << "1";
        QTest::newRow("ret as text") << reply("1", "9", rec, "1") << "1";
        QTest::newRow("ret absent")
            << QByteArray("{\"body\":{\"type\":\"1\",\"id\":\"9\"}}") << "1";
        QTest::newRow("not json") << QByteArray("<html>busy</html>") << "1";
        QTest::newRow("empty body") << QByteArray() << "1";
        QTest::newRow("top level array") << QByteArray("[1]") << "1";
        QTest::newRow("body not an object") << QByteArray("{\"ret\":1,\"body\":5}") << "1";
        QTest::newRow("type 0") << reply("0", "9", rec) << "1";
        QTest::newRow("type as number") << reply(1, "9", rec) << "1";
        QTest::newRow("type negative") << reply("-1", "9", rec) << "1";
        QTest::newRow("type beyond 32 bits") << reply("4294967297", "9", rec) << "1";
        QTest::newRow("type not a number") << reply("text", "9", rec) << "1";
        QTest::newRow("id as number") << reply("1", 9, rec) << "1";
        QTest::newRow("id empty") << reply("1", "", rec) << "1";
        QTest::newRow("id is the none marker") << reply("1", "4294967295", rec) << "1";
        QTest::newRow("msgData not json") << reply("1", "9", "{title") << "1";
        QTest::newRow("msgData empty for another type") << reply("3", "9", "") << "1";
        QTest::newRow("msgData as object") << reply("1", "9", kRecord) << "1";
        QTest::newRow("record without brief")
            << reply("1", "9", recordText(QJsonObject{{"title", "T"}})) << "1";
        QTest::newRow("record title a number")
            << reply("1", "9", recordText(QJsonObject{{"title", 3}, {"brief", "B"}})) << "1";
        QTest::newRow("web page without its address")
            << reply("2", "9", recordText(kRecord)) << "1";
        QTest::newRow("web page not on the web")
            << reply("2", "9",
                     recordText(QJsonObject{
                         {"title", "T"}, {"brief", "B"}, {"contentUrl", "file:///etc/passwd"}}))
            << "1";
    }
    void nothingToShow() {
        QFETCH(QByteArray, body);
        serve(body);
        QVERIFY(!runOnce());
        QVERIFY(shownPopups().isEmpty());
        QTEST(storedState("AvaTimes").toString(), "avaTimes");
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("4294967295"));
        QCOMPARE(service.requestCount(kMessagePath), 1);
    }

    void sameIdAsLastShown() {
        storeState("LastId", 77u);
        serve(reply("1", "77", recordText(kRecord)));
        QVERIFY(!runOnce());
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("1"));
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("77"));
    }

    // Failures at the network level do not count against the day.
    void unansweredRequestsAreFree_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("server error") << 500;
        QTest::newRow("not found") << 404;
        QTest::newRow("unreachable") << 0;
    }
    void unansweredRequestsAreFree() {
        QFETCH(int, status);
        if (status == 0)
            tidewell::setBaseUrl(QStringLiteral("http://127.0.0.1:1"));
        else
            service.setRoute(kMessagePath, DevRoute::withStatus(status));
        QVERIFY(!runOnce());
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("2"));
        QVERIFY(shownPopups().isEmpty());
    }

    // Too large to read, but answered: it costs the check, so the same reply is not fetched
    // again on every run of the day.
    void oversizedReplyCountsAsAnswered() {
        DevRoute huge;
        huge.hugeBytes = 2 << 20;
        service.setRoute(kMessagePath, huge);
        QVERIFY(!runOnce());
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("1"));
        QVERIFY(shownPopups().isEmpty());
        QVERIFY(!runOnce());
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("0"));
        QVERIFY(!runOnce());
        QCOMPARE(service.requestCount(kMessagePath), 2);
    }

    void spentDayAsksNothing() {
        storeState("Date", kDay.toString(Qt::ISODate));
        storeState("AvaTimes", 0u);
        serve(reply("1", "3", recordText(kRecord)));
        QVERIFY(!runOnce());
        QVERIFY(service.requests().isEmpty());
    }
};

TIDEWELL_TEST_MAIN(TestMessageCheck)
#include "tst_message_check.moc"
