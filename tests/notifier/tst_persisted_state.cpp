#include "test_support.h"

#include "core/clock.h"
#include "core/msg_manager.h"
#include "popups/tidewell_base.h"

#include <QFile>
#include <QSettings>

namespace {

const QDate kDay(2026, 3, 14);

// Asking QSettings for its file name opens a settings object, which syncs every pending write
// to that file; so the name is taken once, before any manager exists.
const QString& settingsFile() {
    static const QString path = MsgManager::settingsLocation();
    return path;
}

class FakePopup : public TidewellBase {
public:
    explicit FakePopup(bool* deleted) : deleted(deleted) {}
    ~FakePopup() override { *deleted = true; }
    void setData(const Json::Value&) override {}
    bool popup() override { return true; }
    bool* deleted;
};

} // namespace

class TestPersistedState : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QFile::remove(settingsFile());
        tidewell::setTodayOverride(kDay);
    }

    void settingsLiveInTheUserConfigFolder() {
        QCOMPARE(settingsFile(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tavorin/Quillon.conf"));
    }

    void firstRunCreatesAllValues() {
        MsgManager m;
        QCOMPARE(m.date, kDay);
        QCOMPARE(m.avaTimes, 2u);
        QCOMPARE(m.lastId, 4294967295u);
        QCOMPARE(m.couponChecked, false);
        QVERIFY(m.couponId.isEmpty());
        QVERIFY(!m.keptPopup);

        QCOMPARE(storedState("Date").toString(), QStringLiteral("2026-03-14"));
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("2"));
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("4294967295"));
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("0"));
        QVERIFY(storedState("CouponId").isValid());
        QCOMPARE(storedState("CouponId").toString(), QString());

        // Same day: the rollover resets nothing.
        m.noteMessageAnswered();
        m.applyRollover();
        QCOMPARE(m.avaTimes, 1u);
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("1"));
    }

    // What one run stored, the next run reads back unchanged.
    void valuesSurviveTheNextRun() {
        {
            MsgManager m;
            m.noteMessageAnswered();
            m.noteMessageShown(4000000000u);
            m.noteCouponAnswered();
            m.couponId = QStringLiteral("c-17");
            m.noteCouponShown();
        }
        MsgManager next;
        QCOMPARE(next.avaTimes, 1u);
        QCOMPARE(next.lastId, 4000000000u);
        QCOMPARE(next.couponChecked, true);
        QCOMPARE(next.couponId, QStringLiteral("c-17"));
        QCOMPARE(next.date, kDay);
    }

    void repairRules_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("field");
        QTest::addColumn<qlonglong>("expected");
        QTest::addColumn<QString>("storedAfter");

        QTest::newRow("AvaTimes 5 lowered")
            << "AvaTimes" << QVariant(5) << "avaTimes" << 2LL << "2";
        QTest::newRow("AvaTimes 0 stays") << "AvaTimes" << QVariant(0) << "avaTimes" << 0LL << "0";
        QTest::newRow("AvaTimes 1 stays") << "AvaTimes" << QVariant(1) << "avaTimes" << 1LL << "1";
        QTest::newRow("AvaTimes -1 as absent")
            << "AvaTimes" << QVariant("-1") << "avaTimes" << 2LL << "2";
        QTest::newRow("AvaTimes not a number")
            << "AvaTimes" << QVariant("many") << "avaTimes" << 0LL << "many";
        QTest::newRow("LastId kept") << "LastId" << QVariant(77) << "lastId" << 77LL << "77";
        QTest::newRow("LastId 0 kept") << "LastId" << QVariant(0) << "lastId" << 0LL << "0";
        QTest::newRow("LastId signed -2")
            << "LastId" << QVariant("-2") << "lastId" << 4294967294LL << "-2";
        QTest::newRow("LastId not a number") << "LastId" << QVariant("x") << "lastId" << 0LL << "x";
        QTest::newRow("CouponChecked 1")
            << "CouponChecked" << QVariant(1) << "couponChecked" << 1LL << "1";
        QTest::newRow("CouponChecked 7 is true")
            << "CouponChecked" << QVariant(7) << "couponChecked" << 1LL << "7";
        QTest::newRow("CouponChecked 0")
            << "CouponChecked" << QVariant(0) << "couponChecked" << 0LL << "0";
        QTest::newRow("CouponChecked -1 as absent")
            << "CouponChecked" << QVariant("-1") << "couponChecked" << 0LL << "0";
        QTest::newRow("CouponChecked junk")
            << "CouponChecked" << QVariant("yes") << "couponChecked" << 0LL << "yes";
    }
    void repairRules() {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QString, field);
        QFETCH(qlonglong, expected);
        QFETCH(QString, storedAfter);
        storeState(QStringLiteral("Date"), QStringLiteral("2026-03-14"));
        storeState(key, value);

        MsgManager m;
        const qlonglong actual = field == QLatin1String("avaTimes") ? qlonglong(m.avaTimes)
                                 : field == QLatin1String("lastId") ? qlonglong(m.lastId)
                                                                    : qlonglong(m.couponChecked);
        QCOMPARE(actual, expected);
        QCOMPARE(storedState(key).toString(), storedAfter);
    }

    void badDateIsReplacedWithoutReset_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("month 13") << "2026-13-01";
        QTest::newRow("30 February") << "2026-02-30";
        QTest::newRow("other format") << "14.03.2026";
        QTest::newRow("empty") << "";
    }
    void badDateIsReplacedWithoutReset() {
        QFETCH(QString, text);
        storeState(QStringLiteral("Date"), text);
        storeState(QStringLiteral("AvaTimes"), 1);
        storeState(QStringLiteral("CouponChecked"), 1);
        MsgManager m;
        QCOMPARE(m.date, kDay);
        QCOMPARE(storedState("Date").toString(), QStringLiteral("2026-03-14"));
        m.applyRollover();
        QCOMPARE(m.avaTimes, 1u);
        QCOMPARE(m.couponChecked, true);
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("1"));
    }

    void rolloverInEitherDirection_data() {
        QTest::addColumn<QDate>("newDay");
        QTest::newRow("next day") << kDay.addDays(1);
        QTest::newRow("clock set back") << kDay.addDays(-1);
        QTest::newRow("next year") << kDay.addYears(1);
    }
    void rolloverInEitherDirection() {
        QFETCH(QDate, newDay);
        {
            MsgManager m;
            m.noteMessageAnswered();
            m.noteMessageAnswered();
            m.noteMessageShown(12);
            m.noteCouponAnswered();
            m.couponId = QStringLiteral("c-1");
            m.noteCouponShown();
        }
        tidewell::setTodayOverride(newDay);
        MsgManager m;
        QCOMPARE(m.avaTimes, 0u); // construction alone does not roll over
        m.applyRollover();
        QCOMPARE(m.date, newDay);
        QCOMPARE(m.avaTimes, 2u);
        QCOMPARE(m.couponChecked, false);
        QCOMPARE(m.lastId, 12u);
        QCOMPARE(m.couponId, QStringLiteral("c-1"));
        QCOMPARE(storedState("Date").toString(), newDay.toString(Qt::ISODate));
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("2"));
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("0"));
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("12"));
        QCOMPARE(storedState("CouponId").toString(), QStringLiteral("c-1"));
    }

    void budgetNeverWrapsBelowZero() {
        storeState(QStringLiteral("Date"), QStringLiteral("2026-03-14"));
        storeState(QStringLiteral("AvaTimes"), 0);
        MsgManager m;
        m.noteMessageAnswered();
        QCOMPARE(m.avaTimes, 0u);
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("0"));
    }

    // A coupon id is in memory when a reminder is built, but stored only once it was shown.
    void couponIdReachesStorageOnlyWhenShown() {
        MsgManager m;
        m.couponId = QStringLiteral("c-9");
        QCOMPARE(storedState("CouponId").toString(), QString());
        m.noteCouponShown();
        QCOMPARE(storedState("CouponId").toString(), QStringLiteral("c-9"));
    }

    void keptPopupIsDeletedWithTheManager() {
        bool deleted = false;
        {
            MsgManager m;
            m.keptPopup = new FakePopup(&deleted);
        }
        QVERIFY(deleted);
    }
};

TIDEWELL_TEST_MAIN(TestPersistedState)
#include "tst_persisted_state.moc"
