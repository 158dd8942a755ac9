#include "test_support.h"

#include "core/clock.h"
#include "core/endpoints.h"
#include "core/msg_manager.h"
#include "core/user_session.h"
#include "dev_service.h"
#include "popups/tidewell_widget_base.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace {

const QDate kDay(2026, 5, 20);
const QString kMessagePath = QStringLiteral("/message/getMessage");
const QString kCouponPath = QStringLiteral("/couponActivity/getTimingCoupon");
const QByteArray kNoMessage = "{\"ret\":0}";
const QByteArray kNoCoupon = "{\"code\":\"1\"}";

// Replies that would be shown; every case below breaks exactly one thing about them.
const QByteArray kGoodMessage = "{\"ret\":1,\"body\":{\"type\":\"1\",\"id\":\"42\",\"msgData\":"
                                "\"{\\\"title\\\":\\\"T\\\",\\\"brief\\\":\\\"B\\\"}\"}}";
const QByteArray kGoodCoupon =
    "{\"code\":\"0\",\"coupon\":{\"id\":\"c1\",\"couponName\":\"n\",\"couponMoney\":\"10\","
    "\"thresholdMoney\":\"100\",\"endDate\":\"2016-11-30 23:59:59\"},"
    "\"vipEndDate\":\"2016-11-17 23:59:59\",\"stime\":\"2016-11-14 10:00:00\"}";

// JSON values no text member accepts.
const QList<QByteArray> kNotText = {"0",
                                    "1",
                                    "-1",
                                    "42",
                                    "1.5",
                                    "-0",
                                    "1e308",
                                    "-1e308",
                                    "123456789012345678901234567890",
                                    "[]",
                                    "[\"1\"]",
                                    "[[[[\"0\"]]]]",
                                    "{}",
                                    "{\"id\":\"1\"}"};

struct Hostile {
    QByteArray name;
    QByteArray body;
    bool overCap = false; // too large to read: counted, nothing shown
};

// `good` with the value of "member":"value" at `spot` replaced.
QByteArray withValue(const QByteArray& good, const QByteArray& spot, const QByteArray& value) {
    const qsizetype at = good.indexOf(spot);
    Q_ASSERT(at >= 0);
    return good.left(at) + value + good.mid(at + spot.size());
}

QList<Hostile> generalCorpus(const QByteArray& good) {
    QList<Hostile> out;
    for (int cut : {1, 2, 5, 9, 17, 30, 60, 100}) {
        if (cut < good.size())
            out.append(Hostile{"truncated at " + QByteArray::number(cut), good.left(cut)});
    }
    out.append(Hostile{"truncated before the last brace", good.chopped(1)});
    out.append(Hostile{"empty", ""});
    out.append(Hostile{"spaces", "   \r\n\t "});
    out.append(Hostile{"zero byte first", QByteArray(1, '\0') + good});
    out.append(
        Hostile{"zero byte inside", good.left(good.size() / 2) + QByteArray(1, '\0') + good});
    out.append(Hostile{"zero bytes only", QByteArray(64, '\0')});
    out.append(Hostile{"html error page",
                       "<!DOCTYPE html><html><body><h1>502 Bad Gateway</h1></body></html>"});
    out.append(Hostile{"html with json inside", "<pre>" + good + "</pre>"});
    out.append(Hostile{"plain text", "Service Unavailable"});
    out.append(Hostile{"null", "null"});
    out.append(Hostile{"number", "1"});
    out.append(Hostile{"huge number", "1" + QByteArray(5000, '9')});
    out.append(Hostile{"string", "\"0\""});
    out.append(Hostile{"true", "true"});
    out.append(Hostile{"array of the reply", "[" + good + "]"});
    out.append(Hostile{"garbage before", "}}}" + good});
    out.append(Hostile{"deep arrays", QByteArray(100000, '[')});
    out.append(Hostile{"deep objects", QByteArray("{\"a\":").repeated(20000)});
    out.append(Hostile{"deep closed arrays", QByteArray(5000, '[') + QByteArray(5000, ']')});
    out.append(Hostile{"invalid utf-8 outside strings", "{\"ret\":\xff\xfe}"});
    out.append(Hostile{"invalid utf-8 key", "{\"\xc3\x28\":1}"});
    out.append(Hostile{"lone surrogate", "{\"ret\":\"\\ud800\"}"});
    out.append(Hostile{"bom and garbage", "\xef\xbb\xbf\xff"});
    out.append(Hostile{"unterminated string", "{\"ret\":\"1"});
    out.append(Hostile{"unterminated comment", "{/* ret"});
    out.append(Hostile{"single quotes", "{'ret':1}"});
    out.append(Hostile{"control characters", QByteArray("{\x01\x02\x03}")});
    out.append(Hostile{"long key", "{\"" + QByteArray(200000, 'k') + "\":1}"});
    out.append(Hostile{"over the cap", {}, true});
    return out;
}

QList<Hostile> messageCorpus() {
    QList<Hostile> out = generalCorpus(kGoodMessage);
    for (const QByteArray ret : {"0", "-1", "2", "1e300", "4294967297", "2147483648", "0.5", "-1.5",
                                 "false", "null", "\"1\"", "[]", "[1]", "{}", "{\"ret\":1}"})
        out.append(Hostile{"ret " + ret, withValue(kGoodMessage, "\"ret\":1", "\"ret\":" + ret)});
    for (const QByteArray body : {"1", "\"{}\"", "true", "[]", "[{}]", "null"})
        out.append(Hostile{"body " + body, "{\"ret\":1,\"body\":" + body + "}"});
    for (const QByteArray& member : {QByteArray("type"), QByteArray("id")}) {
        const QByteArray spot = "\"" + member + "\":\"" + (member == "type" ? "1" : "42") + "\"";
        for (const QByteArray& v : kNotText)
            out.append(Hostile{member + " " + v,
                               withValue(kGoodMessage, spot, "\"" + member + "\":" + v)});
        for (const QByteArray v : {"\"\"", "null", "true", "\"-1\"", "\"+\"", "\"1x\"", "\"0x1\"",
                                   "\"99999999999\"", "\"1\xff\""})
            if (member == "type" || v != "\"-1\"")
                out.append(Hostile{member + " " + v,
                                   withValue(kGoodMessage, spot, "\"" + member + "\":" + v)});
    }
    const qsizetype data = kGoodMessage.indexOf("\"msgData\":");
    const QByteArray head = kGoodMessage.left(data);
    for (const QByteArray& v : kNotText)
        out.append(Hostile{"msgData " + v, head + "\"msgData\":" + v + "}}"});
    for (const QByteArray v :
         {"\"\"", "null", "true", "\"{\\\"title\\\":\"", "\"[1]\"",
          "\"{\\\"title\\\":1,\\\"brief\\\":\\\"B\\\"}\"", "\"{\\\"title\\\":\\\"T\\\"}\"",
          "\"{\\\"title\\\":\\\"\\\",\\\"brief\\\":\\\"B\\\"}\""})
        out.append(Hostile{"msgData " + v, head + "\"msgData\":" + v + "}}"});
    return out;
}

QList<Hostile> couponCorpus() {
    QList<Hostile> out = generalCorpus(kGoodCoupon);
    const QList<QByteArray> members = {"\"code\":\"0\"",
                                       "\"id\":\"c1\"",
                                       "\"couponName\":\"n\"",
                                       "\"couponMoney\":\"10\"",
                                       "\"thresholdMoney\":\"100\"",
                                       "\"endDate\":\"2016-11-30 23:59:59\"",
                                       "\"vipEndDate\":\"2016-11-17 23:59:59\"",
                                       "\"stime\":\"2016-11-14 10:00:00\""};
    for (const QByteArray& spot : members) {
        const QByteArray name = spot.left(spot.indexOf(':'));
        for (const QByteArray& v : kNotText)
            out.append(Hostile{name + " " + v, withValue(kGoodCoupon, spot, name + ":" + v)});
    }
    // Text that reads but gives no reminder.
    for (const QByteArray v : {"\"1\"", "\"\"", "null", "true", "\" 0\"", "\"00\""})
        out.append(Hostile{"code " + v, withValue(kGoodCoupon, "\"code\":\"0\"", "\"code\":" + v)});
    for (const QByteArray& date :
         {QByteArray("endDate"), QByteArray("vipEndDate"), QByteArray("stime")})
        for (const QByteArray v :
             {"\"\"", "null", "false", "\"2016-13-01 00:00:00\"", "\"2016-11-14T10:00:00\"",
              "\"2016-11-14 25:00:00\"", "\"\xff\xfe\""}) {
            const qsizetype at = kGoodCoupon.indexOf("\"" + date + "\":\"");
            const qsizetype end = kGoodCoupon.indexOf('"', at + date.size() + 4);
            out.append(Hostile{date + " " + v, kGoodCoupon.left(at) + "\"" + date + "\":" + v +
                                                   kGoodCoupon.mid(end + 1)});
        }
    for (const QByteArray c : {"1", "\"c\"", "true", "[]", "[{}]"})
        out.append(Hostile{"coupon " + c, "{\"code\":\"0\",\"coupon\":" + c +
                                              ",\"vipEndDate\":\"2016-11-17 23:59:59\","
                                              "\"stime\":\"2016-11-14 10:00:00\"}"});
    out.append(Hostile{"coupon absent", "{\"code\":\"0\",\"vipEndDate\":\"2016-11-17 23:59:59\","
                                        "\"stime\":\"2016-11-14 10:00:00\"}"});
    return out;
}

bool anyPopupShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<TidewellWidgetBase*>(w) && w->isVisible())
            return true;
    return false;
}

DevRoute routeFor(const Hostile& h) {
    DevRoute r;
    if (h.overCap)
        r.hugeBytes = (1 << 20) + 1;
    else
        r.body = h.body;
    return r;
}

// Answers every request with its canned reply, except that requests for `resetPath` get a
// status line, half a body and a dropped connection.
class ResettingServer : public QTcpServer {
public:
    QString resetPath;
    QHash<QString, QByteArray> replies;

    ResettingServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray head = s->readAll();
                    const QString path =
                        QString::fromLatin1(head.split(' ').value(1)).section('?', 0, 0);
                    if (path == resetPath) {
                        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                 "Content-Length: 4000\r\n\r\n{\"ret\":1,\"body\":{");
                        s->flush();
                        s->waitForBytesWritten(1000);
                        s->abort();
                        return;
                    }
                    const QByteArray body = replies.value(path);
                    s->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
};

// User plus system CPU time of a process, in seconds.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (f.value(11).toDouble() + f.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

} // namespace

class TestHardening : public QObject {
    Q_OBJECT

    DevService service;
    int repliesTried = 0;

    void expectState(const QString& ava, const QString& checked) {
        QCOMPARE(storedState("Date").toString(), kDay.toString(Qt::ISODate));
        QCOMPARE(storedState("AvaTimes").toString(), ava);
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("4294967295"));
        QCOMPARE(storedState("CouponChecked").toString(), checked);
        QCOMPARE(storedState("CouponId").toString(), QString());
    }

    QProcess* startProgram() {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TIDEWELL_BASE_URL"), service.baseUrl());
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(TIDEWELL_EXE), {});
        return p;
    }

private slots:
    void initTestCase() {
        QVERIFY(service.listen());
        UserSession::instance().uid = QStringLiteral("10001");
        // The program run by the later cases reads the same session.
        QVERIFY(QDir().mkpath(QDir::homePath() + QStringLiteral("/Documents/Quillon")));
        QFile session(QDir::homePath() + QStringLiteral("/Documents/Quillon/usersession.ini"));
        QVERIFY(session.open(QIODevice::WriteOnly));
        session.write("[usersession]\nuid=10001\naccoutName=demo.reader\n");
    }
    void init() {
        clearState();
        service.clearLog();
        tidewell::setBaseUrl(service.baseUrl());
        tidewell::setTodayOverride(kDay);
    }
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            delete w;
    }
    void cleanupTestCase() { qInfo("hostile replies tried: %d", repliesTried); }

    // Nothing the message service sends shows anything but a well-formed new message, and an
    // answered request costs exactly one check; the coupon check still runs.
    void hostileMessageReplies_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("overCap");
        for (const Hostile& h : messageCorpus())
            QTest::newRow(h.name.constData()) << h.body << h.overCap;
    }
    void hostileMessageReplies() {
        QFETCH(QByteArray, body);
        QFETCH(bool, overCap);
        service.setRoute(kMessagePath, routeFor({{}, body, overCap}));
        service.setRoute(kCouponPath, DevRoute::json(kNoCoupon));
        MsgManager manager;
        QVERIFY(!manager.start());
        QVERIFY(!anyPopupShown());
        expectState(QStringLiteral("1"), QStringLiteral("1"));
        QCOMPARE(service.requestCount(kCouponPath), 1);
        ++repliesTried;
    }

    void hostileCouponReplies_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("overCap");
        for (const Hostile& h : couponCorpus())
            QTest::newRow(h.name.constData()) << h.body << h.overCap;
    }
    void hostileCouponReplies() {
        QFETCH(QByteArray, body);
        QFETCH(bool, overCap);
        service.setRoute(kMessagePath, DevRoute::json(kNoMessage));
        service.setRoute(kCouponPath, routeFor({{}, body, overCap}));
        MsgManager manager;
        QVERIFY(!manager.start());
        QVERIFY(!anyPopupShown());
        expectState(QStringLiteral("1"), QStringLiteral("1"));
        QVERIFY(manager.couponId.isEmpty());
        ++repliesTried;
    }

    // The corpora start from replies that are shown, so every case breaks something real.
    void theGoodRepliesAreShown() {
        service.setRoute(kMessagePath, DevRoute::json(kGoodMessage));
        {
            MsgManager manager;
            QVERIFY(manager.start());
        }
        cleanup();
        clearState();
        service.setRoute(kMessagePath, DevRoute::json(kNoMessage));
        service.setRoute(kCouponPath, DevRoute::json(kGoodCoupon));
        MsgManager manager;
        QVERIFY(manager.start());
        QVERIFY(messageCorpus().size() + couponCorpus().size() >= 200);
    }

    // A server that misbehaves at the transport level costs a bounded wait and counts as no
    // answer: nothing is written for that request, and the run goes on.
    void serverFaults_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("onCoupon");
        for (const char* fault :
             {"no answer", "a byte every 3 s", "reset mid-body", "redirect loop"}) {
            QTest::newRow(qPrintable(QStringLiteral("message: ") + fault)) << fault << false;
            QTest::newRow(qPrintable(QStringLiteral("coupon: ") + fault)) << fault << true;
        }
    }
    void serverFaults() {
        QFETCH(QString, fault);
        QFETCH(bool, onCoupon);
        const QString path = onCoupon ? kCouponPath : kMessagePath;
        service.setRoute(kMessagePath, DevRoute::json(kNoMessage));
        service.setRoute(kCouponPath, DevRoute::json(kNoCoupon));

        ResettingServer resetting;
        if (fault == "reset mid-body") {
            resetting.resetPath = path;
            resetting.replies = {{kMessagePath, kNoMessage}, {kCouponPath, kNoCoupon}};
            QVERIFY(resetting.listen(QHostAddress::LocalHost));
            tidewell::setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(resetting.serverPort()));
        } else if (fault == "no answer") {
            DevRoute r;
            r.hang = true;
            service.setRoute(path, r);
        } else if (fault == "a byte every 3 s") {
            DevRoute r = DevRoute::json(QByteArray(1000, ' '));
            r.trickleMs = 3000;
            service.setRoute(path, r);
        } else {
            service.setRoute(path, DevRoute::redirect(302, path.toLatin1()));
        }

        MsgManager manager;
        manager.fetchLimitMs = 1500;
        QElapsedTimer guard; // a hang guard, not a measure of speed
        guard.start();
        QVERIFY(!manager.start());
        QVERIFY(guard.elapsed() < 20000);
        QVERIFY(!anyPopupShown());
        if (onCoupon)
            expectState(QStringLiteral("1"), QStringLiteral("0"));
        else
            expectState(QStringLiteral("2"), QStringLiteral("1"));
        if (fault == "redirect loop")
            // The first request and at most 5 hops; Qt may send a hop twice when the service has
            // closed the connection it meant to reuse.
            QVERIFY2(service.requestCount(path) <= 12,
                     qPrintable(QString::number(service.requestCount(path))));
    }

    // Waiting on a silent server sleeps: the whole program stays far below a busy core, and
    // the wait ends by itself.
    void waitingCostsNoCpu() {
        DevRoute r;
        r.hang = true;
        service.setRoute(kMessagePath, r);
        QProcess* program = startProgram();
        QVERIFY(program->waitForStarted(20000));
        QTRY_VERIFY_WITH_TIMEOUT(service.requestCount(kMessagePath) == 1, 20000);
        const double before = cpuSeconds(program->processId());
        QVERIFY(before > 0); // start-up alone costs some: the probe reads real figures
        QTest::qWait(10000);
        QCOMPARE(program->state(), QProcess::Running); // still waiting, not gone
        const double used = cpuSeconds(program->processId()) - before;
        qInfo("CPU while waiting 10 s: %.2f s", used);
        QVERIFY2(used < 0.5, qPrintable(QString::number(used)));
        // The request's own limit then ends the run; the coupon check follows as usual.
        service.setRoute(kCouponPath, DevRoute::json(kNoCoupon));
        QTRY_VERIFY_WITH_TIMEOUT(program->state() == QProcess::NotRunning, 60000);
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("2"));
        QCOMPARE(service.requestCount(kCouponPath), 1);
    }

    // Killed anywhere in its run, the program leaves state that the next run reads as it was
    // written, and that next run completes normally.
    void killedAtRandom() {
        tidewell::setTodayOverride(QDate()); // the program uses the real clock
        DevRoute slow = DevRoute::json(kNoMessage);
        slow.delayMs = 300;
        service.setRoute(kMessagePath, slow);
        service.setRoute(kCouponPath, DevRoute::json(kNoCoupon));
        for (int round = 0; round < 6; ++round) {
            storeState("AvaTimes", 2u); // keep the program asking
            QProcess* program = startProgram();
            QVERIFY(program->waitForStarted(20000));
            QTest::qWait(1500 + QRandomGenerator::global()->bounded(2000));
            program->kill();
            QVERIFY(program->waitForFinished(20000) || program->state() == QProcess::NotRunning);

            MsgManager next;
            QVERIFY(next.date.isValid());
            QVERIFY(next.avaTimes <= 2);
            QCOMPARE(next.lastId, MsgManager::kNoId);
            QVERIFY(next.couponId.isEmpty());
            QCOMPARE(storedState("AvaTimes").toUInt(), next.avaTimes);
        }
        storeState("AvaTimes", 2u);
        storeState("CouponChecked", 0);
        // The service answers from this process, so wait with the event loop running.
        QProcess* last = startProgram();
        QTRY_VERIFY_WITH_TIMEOUT(last->state() == QProcess::NotRunning, 30000);
        QCOMPARE(last->exitStatus(), QProcess::NormalExit);
        QCOMPARE(last->exitCode(), 0);
        QCOMPARE(storedState("AvaTimes").toString(), QStringLiteral("1"));
        QCOMPARE(storedState("CouponChecked").toString(), QStringLiteral("1"));
        tidewell::setTodayOverride(kDay);
    }
};

TIDEWELL_TEST_MAIN(TestHardening)
#include "tst_hardening.moc"
