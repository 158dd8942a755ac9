#include "test_support.h"

#include "core/clock.h"
#include "core/endpoints.h"
#include "core/msg_manager.h"
#include "core/user_session.h"
#include "dev_service.h"
#include "popups/tidewell_coupon_msg.h"

#include <json/value.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QTranslator>
#include <QUrlQuery>

namespace {

const QDate kDay(2026, 5, 20);
const QString kMessagePath = QStringLiteral("/message/getMessage");
const QString kCouponPath = QStringLiteral("/couponActivity/getTimingCoupon");
const QString kAnnounced = QStringLiteral("c-7");

// A coupon reply; `id` differs from kAnnounced unless asked for.
QByteArray couponReply(const QString& stime, const QString& vipEnd, const QString& end,
                       const QString& id = QStringLiteral("c-8")) {
    const QJsonObject coupon{{"id", id},
                             {"couponName", "VIP renewal"},
                             {"couponMoney", "10"},
                             {"thresholdMoney", "100"},
                             {"endDate", end}};
    return QJsonDocument(
               QJsonObject{
                   {"code", "0"}, {"coupon", coupon}, {"vipEndDate", vipEnd}, {"stime", stime}})
        .toJson();
}

const QString kS = QStringLiteral("2016-11-14 10:00:00");

QList<TidewellCouponMsg*> shownCoupons() {
    QList<TidewellCouponMsg*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<TidewellCouponMsg*>(w); p && p->isVisible())
            out << p;
    return out;
}

} // namespace

class TestCoupon : public QObject {
    Q_OBJECT

    DevService service;

    bool runOnce() {
        MsgManager manager;
        return manager.start();
    }
    void serveCoupon(const QByteArray& body) {
        service.setRoute(kCouponPath, DevRoute::json(body));
    }

private slots:
    void initTestCase() {
        QVERIFY(service.listen());
        tidewell::setTodayOverride(kDay);
        service.setRoute(kMessagePath, DevRoute::json("{\"ret\":0}"));
        service.setRoute(QStringLiteral("/user/getTempSession"),
                         DevRoute::json("{\"code\":\"0\",\"tempSession\":\"s-1\"}"));
    }
    void init() {
        clearState();
        service.clearLog();
        tidewell::setBaseUrl(service.baseUrl());
        UserSession::instance().uid = QStringLiteral("10001");
        UserSession::instance().accountName = QStringLiteral("demo.reader");
    }
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            delete w;
    }

    // Which reminder applies, in the untranslated catalogue: the brief starts with its key
    // and carries the filled placeholders in order.
    void reminders_data() {
        QTest::addColumn<QString>("vipEnd");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("title"); // empty: no reminder
        QTest::addColumn<QString>("brief");
        const QString late = QStringLiteral("2016-11-30 23:59:59");
        const QString newTitle = QStringLiteral("You have got a 10 coupon!");
        const QString unused = QStringLiteral("You have unused coupon!");
        const QString expire = QStringLiteral("Coupon will expire!");

        QTest::newRow("running, new") << "2016-11-17 23:59:59" << late << "c-8" << newTitle
                                      << "coupon_vip_newafter 3 days100102016-11-30";
        QTest::newRow("running, announced") << "2016-11-17 23:59:59" << late << "c-7" << unused
                                            << "coupon_vip_unusedafter 3 days100102016-11-30";
        QTest::newRow("running, coupon already ended")
            << "2016-11-17 23:59:59"
            << "2016-11-01 00:00:00"
            << "c-8" << newTitle << "coupon_vip_newafter 3 days100102016-11-01";
        QTest::newRow("lapsed, new") << "2016-11-12 23:59:59" << late << "c-8" << newTitle
                                     << "coupon_not_vip_new2 days before100102016-11-30";
        QTest::newRow("lapsed, announced") << "2016-11-12 23:59:59" << late << "c-7" << unused
                                           << "coupon_not_vip_not_new2 days before100102016-11-30";
        QTest::newRow("lapsed, last day, new")
            << "2016-11-12 23:59:59"
            << "2016-11-14 23:59:59"
            << "c-8" << expire << "coupon_not_vip_last2 days before10 coupon10010";
        QTest::newRow("lapsed, last day, announced")
            << "2016-11-12 23:59:59"
            << "2016-11-14 23:59:59"
            << "c-7" << expire << "coupon_not_vip_last2 days before10 coupon10010";
        QTest::newRow("lapsed, coupon ended earlier today") << "2016-11-12 23:59:59"
                                                            << "2016-11-14 09:59:59"
                                                            << "c-8"
                                                            << ""
                                                            << "";
        QTest::newRow("lapsed, coupon ends exactly now") << "2016-11-12 23:59:59"
                                                         << "2016-11-14 10:00:00"
                                                         << "c-8"
                                                         << ""
                                                         << "";
        QTest::newRow("lapsed, coupon ended yesterday") << "2016-11-12 23:59:59"
                                                        << "2016-11-13 23:59:59"
                                                        << "c-8"
                                                        << ""
                                                        << "";
        QTest::newRow("lapsed, coupon ends tomorrow at midnight")
            << "2016-11-12 23:59:59"
            << "2016-11-15 00:00:00"
            << "c-8" << newTitle << "coupon_not_vip_new2 days before100102016-11-15";
        QTest::newRow("G = 8") << "2016-11-22 00:00:00" << late << "c-8" << newTitle
                               << "coupon_vip_newafter 8 days100102016-11-30";
        QTest::newRow("G = 9") << "2016-11-23 00:00:00" << late << "c-8"
                               << ""
                               << "";
        QTest::newRow("G = -8") << "2016-11-06 23:59:59" << late << "c-8" << newTitle
                                << "coupon_not_vip_new8 days before100102016-11-30";
        QTest::newRow("G = -9") << "2016-11-05 23:59:59" << late << "c-8"
                                << ""
                                << "";
        QTest::newRow("G = 0, ends later today")
            << "2016-11-14 23:59:59" << late << "c-8" << newTitle
            << "coupon_vip_newtoday(2016-11-14)100102016-11-30";
        QTest::newRow("G = 0, ends exactly now")
            << "2016-11-14 10:00:00" << late << "c-8" << newTitle
            << "coupon_vip_newtoday(2016-11-14)100102016-11-30";
        QTest::newRow("G = 0, ended earlier today")
            << "2016-11-14 09:59:59" << late << "c-7" << unused
            << "coupon_not_vip_not_newtoday(2016-11-14)100102016-11-30";
        QTest::newRow("vip end does not parse") << "2016-11-17" << late << "c-8"
                                                << ""
                                                << "";
        QTest::newRow("coupon end does not parse") << "2016-11-17 23:59:59"
                                                   << "someday"
                                                   << "c-8"
                                                   << ""
                                                   << "";
        QTest::newRow("impossible date") << "2016-02-30 10:00:00" << late << "c-8"
                                         << ""
                                         << "";
    }
    void reminders() {
        QFETCH(QString, vipEnd);
        QFETCH(QString, end);
        QFETCH(QString, id);
        QFETCH(QString, title);
        QFETCH(QString, brief);
        MsgManager manager;
        manager.couponId = kAnnounced;
        Json::Value record("untouched");
        const bool due =
            manager.buildCouponRecord(couponReply(kS, vipEnd, end, id).toStdString(), record);
        QCOMPARE(due, !title.isEmpty());
        if (!due) {
            QCOMPARE(record.asString(), std::string("untouched"));
            QCOMPARE(manager.couponId, kAnnounced);
            return;
        }
        QCOMPARE(QString::fromStdString(record["title"].asString()), title);
        QCOMPARE(QString::fromStdString(record["brief"].asString()), brief);
        QCOMPARE(QString::fromStdString(record["jmpUrl"].asString()),
                 service.baseUrl() + QStringLiteral("/user/index"));
        QCOMPARE(manager.couponId, id);
        // Only showing the popup stores the id.
        QCOMPARE(storedState("CouponId").toString(), QString());
    }

    void unusableReplies_data() {
        QTest::addColumn<QByteArray>("body");
        const QByteArray good = couponReply(kS, "2016-11-17 23:59:59", "2016-11-30 23:59:59");
        QTest::newRow("code as the number 0")
            << QByteArray(good).replace("\"code\": \"0\"", "\"code\": 0");
        QTest::newRow("code 1") << QByteArray(good).replace("\"code\": \"0\"", "\"code\": \"1\"");
        QTest::newRow("code absent") << QByteArray(good).replace("\"code\": \"0\",", "");
        QTest::newRow("money as a number")
            << QByteArray(good).replace("\"couponMoney\": \"10\"", "\"couponMoney\": 10");
        QTest::newRow("coupon an array")
            << QByteArray("{\"code\":\"0\",\"coupon\":[],\"vipEndDate\":\"2016-11-17 23:59:59\","
                          "\"stime\":\"2016-11-14 10:00:00\"}");
        QTest::newRow("coupon absent")
            << QByteArray("{\"code\":\"0\",\"vipEndDate\":\"2016-11-17 23:59:59\","
                          "\"stime\":\"2016-11-14 10:00:00\"}");
        QTest::newRow("top level an array") << QByteArray("[" + good + "]");
        QTest::newRow("not json") << QByteArray("<html>502</html>");
        QTest::newRow("empty") << QByteArray();
    }
    void unusableReplies() {
        QFETCH(QByteArray, body);
        MsgManager manager;
        Json::Value record;
        QVERIFY(!manager.buildCouponRecord(body.toStdString(), record));
        QVERIFY(record.isNull());
        QVERIFY(manager.couponId.isEmpty());
    }

    void workedExampleInChinese() {
        QTranslator catalogue;
        QVERIFY(catalogue.load(QStringLiteral(":Tidewell/tidewell_zh.qm")));
        QCoreApplication::installTranslator(&catalogue);
        MsgManager manager;
        Json::Value record;
        const bool due = manager.buildCouponRecord(
            couponReply(kS, "2016-11-17 23:59:59", "2016-11-30 23:59:59").toStdString(), record);
        QCoreApplication::removeTranslator(&catalogue);
        QVERIFY(due);
        QCOMPARE(QString::fromStdString(record["title"].asString()),
                 QStringLiteral("恭喜您获得了一张10元优惠券！"));
        QCOMPARE(QString::fromStdString(record["brief"].asString()),
                 QStringLiteral(
                     "您的QuillonVIP会员将于<b>3日后</b>到期。为了感谢您的支持，现赠送您一张"
                     "\"<b>满100减10</b>\"的优惠券，可用于VIP续费时满减抵扣，有效期至"
                     "<b>2016年11月30日</b>，快去使用吧~<br><a href=\"#\">>>点此立即使用</a>"));
    }

    // Server text inside the rich-text brief cannot add markup.
    void amountsStayText() {
        MsgManager manager;
        Json::Value record;
        QByteArray body = couponReply(kS, "2016-11-17 23:59:59", "2016-11-30 23:59:59");
        body.replace("\"thresholdMoney\": \"100\"", "\"thresholdMoney\": \"<img src=x>\"");
        QVERIFY(manager.buildCouponRecord(body.toStdString(), record));
        QVERIFY(QString::fromStdString(record["brief"].asString()).contains("&lt;img src=x&gt;"));
    }

    void runShowsTheReminderOncePerDay() {
        UserSession::instance().uid = QStringLiteral("a b&c=d/é");
        serveCoupon(couponReply(kS, "2016-11-17 23:59:59", "2016-11-30 23:59:59"));
        QVERIFY(runOnce());
        QCOMPARE(shownCoupons().size(), 1);
        QCOMPARE(shownCoupons().first()->title, QStringLiteral("You have got a 10 coupon!"));
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("1"));
        QCOMPARE(storedState("CouponId").toString(), QStringLiteral("c-8"));
        QCOMPARE(service.requestCount(kCouponPath), 1);
        // The id goes out percent-encoded, so it stays one query value.
        const QString query = service.requests().last().query;
        QCOMPARE(query, QStringLiteral("userId=a%20b%26c%3Dd%2F%C3%A9"));
        cleanup();

        // Answered today: the next run asks for messages only.
        QVERIFY(!runOnce());
        QCOMPARE(service.requestCount(kCouponPath), 1);
        QCOMPARE(service.requestCount(kMessagePath), 2);

        // Next day the same coupon is an announced one.
        tidewell::setTodayOverride(kDay.addDays(1));
        QVERIFY(runOnce());
        QCOMPARE(shownCoupons().first()->title, QStringLiteral("You have unused coupon!"));
        tidewell::setTodayOverride(kDay);
    }

    void answeredWithoutReminder() {
        serveCoupon(QJsonDocument(QJsonObject{{"code", 0}}).toJson());
        QVERIFY(!runOnce());
        QVERIFY(shownCoupons().isEmpty());
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("1"));
        QCOMPARE(storedState("CouponId").toString(), QString());
    }

    void nobodySignedInAsksNothing() {
        UserSession::instance().uid.clear();
        serveCoupon(couponReply(kS, "2016-11-17 23:59:59", "2016-11-30 23:59:59"));
        QVERIFY(!runOnce());
        QCOMPARE(service.requestCount(kCouponPath), 0);
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("0"));
    }

    void failedRequestIsAskedAgain_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("server error") << 500;
        QTest::newRow("not found") << 404;
    }
    void failedRequestIsAskedAgain() {
        QFETCH(int, status);
        service.setRoute(kCouponPath, DevRoute::withStatus(status));
        QVERIFY(!runOnce());
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("0"));
        serveCoupon(couponReply(kS, "2016-11-17 23:59:59", "2016-11-30 23:59:59"));
        QVERIFY(runOnce());
        QCOMPARE(service.requestCount(kCouponPath), 2);
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("1"));
    }

    // A shown message leaves the coupon for a later run.
    void messageFirst() {
        service.setRoute(
            kMessagePath,
            DevRoute::json("{\"ret\":1,\"body\":{\"type\":\"1\",\"id\":\"5\","
                           "\"msgData\":\"{\\\"title\\\":\\\"T\\\",\\\"brief\\\":\\\"B\\\"}\"}}"));
        serveCoupon(couponReply(kS, "2016-11-17 23:59:59", "2016-11-30 23:59:59"));
        QVERIFY(runOnce());
        service.setRoute(kMessagePath, DevRoute::json("{\"ret\":0}"));
        QCOMPARE(service.requestCount(kCouponPath), 0);
        QVERIFY(shownCoupons().isEmpty());
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("0"));
    }

    void popupLinks_data() {
        QTest::addColumn<QString>("jmpUrl");
        QTest::addColumn<bool>("couponLink"); // else a press on the body
        QTest::addColumn<QString>("skipTo");
        QTest::newRow("view my coupon") << "/user/index" << true << "/mycenter/getCouponInfo";
        QTest::newRow("body press") << "/user/index" << false << "/user/index";
        QTest::newRow("empty jmpUrl, coupon link") << "" << true << "/mycenter/getCouponInfo";
        QTest::newRow("empty jmpUrl, body press") << "" << false << "/user/index";
    }
    void popupLinks() {
        QFETCH(QString, jmpUrl);
        QFETCH(bool, couponLink);
        QFETCH(QString, skipTo);
        UrlCatcher catcher;
        Json::Value record(Json::objectValue);
        record["title"] = "T";
        record["brief"] = "B <a href=\"#\">more</a>";
        record["jmpUrl"] = jmpUrl.isEmpty() ? "" : (service.baseUrl() + jmpUrl).toStdString();
        auto* popup = new TidewellCouponMsg;
        const QPointer<TidewellCouponMsg> alive(popup);
        popup->setData(record);
        QVERIFY(popup->popup());
        auto* link = popup->findChild<QLabel*>(QStringLiteral("couponLink"));
        QVERIFY(link);
        QVERIFY(link->text().contains(
            QStringLiteral("href=\"%1/mycenter/getCouponInfo\"").arg(service.baseUrl())));
        if (couponLink)
            emit link->linkActivated(service.baseUrl() + QStringLiteral("/mycenter/getCouponInfo"));
        else
            QTest::mouseClick(popup->findChild<QWidget*>(QStringLiteral("body")), Qt::LeftButton,
                              {}, QPoint(24, 10));
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 10000);
        QCOMPARE(catcher.opened.size(), 1);
        const QUrl opened = catcher.opened.first();
        QCOMPARE(opened.path(), QStringLiteral("/user/skip"));
        const QUrlQuery query(opened);
        QCOMPARE(query.queryItemValue(QStringLiteral("tempSession")), QStringLiteral("s-1"));
        QCOMPARE(query.queryItemValue(QStringLiteral("skipUrl")), skipTo);
    }

    // Only the exact coupon page counts as the coupon link.
    void nearMissesGoHome() {
        UrlCatcher catcher;
        UserSession::instance().uid.clear(); // no temporary session: plain pages
        for (const QString& url :
             {service.baseUrl() + QStringLiteral("/mycenter/getCouponInfo/"),
              service.baseUrl().toUpper() + QStringLiteral("/MYCENTER/getCouponInfo"),
              QStringLiteral("javascript:alert(1)")}) {
            auto* popup = new TidewellCouponMsg;
            const QPointer<TidewellCouponMsg> alive(popup);
            Json::Value record(Json::objectValue);
            record["title"] = "T";
            record["brief"] = "B";
            popup->setData(record);
            QVERIFY(popup->popup());
            emit popup->findChild<QLabel*>(QStringLiteral("couponLink"))->linkActivated(url);
            QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 10000);
        }
        QCOMPARE(catcher.opened.size(), 3);
        for (const QUrl& u : catcher.opened)
            QCOMPARE(u.toString(), service.baseUrl() + QStringLiteral("/user/index"));
    }

    // The demo run's scenario: nothing to read, a coupon to remind of.
    void demoScenario() {
        DevService demo;
        QVERIFY(demo.listen());
        QString error;
        QVERIFY2(demo.loadScenarioFile(QStringLiteral(COUPON_SCENARIO), &error), qPrintable(error));
        tidewell::setBaseUrl(demo.baseUrl());
        QVERIFY(runOnce());
        QCOMPARE(shownCoupons().size(), 1);
        QCOMPARE(demo.requestCount(kMessagePath), 1);
        QCOMPARE(storedState("CouponId").toString(), QStringLiteral("c-2016-11"));
    }

    void chineseLinkText() {
        QTranslator catalogue;
        QVERIFY(catalogue.load(QStringLiteral(":Tidewell/tidewell_zh.qm")));
        QCoreApplication::installTranslator(&catalogue);
        auto* popup = new TidewellCouponMsg;
        Json::Value record(Json::objectValue);
        record["title"] = "T";
        record["brief"] = "B";
        popup->setData(record);
        QVERIFY(popup->popup());
        QCoreApplication::removeTranslator(&catalogue);
        QVERIFY(popup->findChild<QLabel*>(QStringLiteral("couponLink"))
                    ->text()
                    .contains(QStringLiteral(">查看我的优惠券</a>")));
    }
};

TIDEWELL_TEST_MAIN(TestCoupon)
#include "tst_coupon.moc"
