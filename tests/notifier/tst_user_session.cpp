#include "test_support.h"

#include "core/browser.h"
#include "core/endpoints.h"
#include "core/user_session.h"
#include "dev_service.h"
#include "net/chttp_request.h"

#include <QDir>
#include <QFile>

namespace {

void writeSessionFile(const QByteArray& text) {
    const QString folder = UserSession::dataFolderPath();
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/usersession.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

} // namespace

class TestUserSession : public QObject {
    Q_OBJECT

private:
    DevService service;
    QString base;

    UserSession signedIn(const QString& uid = QStringLiteral("42"),
                         const QString& name = QStringLiteral("alice")) {
        UserSession s;
        s.uid = uid;
        s.accountName = name;
        return s;
    }

    QStringList jump(const UserSession& session, const QString& target) {
        UrlCatcher catcher;
        session.openJumpLink(target);
        QStringList out;
        for (const QUrl& u : catcher.opened)
            out << QString::fromUtf8(u.toEncoded());
        return out;
    }

private slots:
    void initTestCase() {
        // Must run first: the table is built once, from the environment.
        QCOMPARE(tidewell::endpoints().base, QStringLiteral("http://staging.example:8080"));
        QCOMPARE(tidewell::defaultBaseUrl(), QStringLiteral("http://quillon.example"));
        QVERIFY(service.listen());
        base = service.baseUrl();
        tidewell::setBaseUrl(base);
    }
    void init() {
        service.clearLog();
        service.removeRoute("/user/getTempSession");
        QFile::remove(UserSession::dataFolderPath() + QStringLiteral("/usersession.ini"));
    }

    void baseUrlFromText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("base");
        QTest::newRow("plain") << "http://a.example"
                               << "http://a.example";
        QTest::newRow("trailing slash") << "http://a.example/"
                                        << "http://a.example";
        QTest::newRow("port") << " https://127.0.0.1:8443 "
                              << "https://127.0.0.1:8443";
        QTest::newRow("with a path") << "http://a.example/api"
                                     << "";
        QTest::newRow("other scheme") << "ftp://a.example"
                                      << "";
        QTest::newRow("no host") << "http://"
                                 << "";
        QTest::newRow("not a url") << "quillon"
                                   << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void baseUrlFromText() {
        QFETCH(QString, text);
        QFETCH(QString, base);
        QCOMPARE(tidewell::normalizedBaseUrl(text), base);
    }

    void dataFolderIsUnderDocuments() {
        QCOMPARE(UserSession::dataFolderPath(),
                 qEnvironmentVariable("HOME") + QStringLiteral("/Documents/Quillon"));
    }

    void sessionFile_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("accountName");
        QTest::newRow("both keys")
            << QByteArray("[usersession]\nuid=42\naccoutName=alice\n") << "42"
            << "alice";
        QTest::newRow("uid only") << QByteArray("[usersession]\nuid=42\n") << "42"
                                  << "";
        QTest::newRow("name only") << QByteArray("[usersession]\naccoutName=alice\n") << ""
                                   << "alice";
        QTest::newRow("correctly spelt key is not the reader's")
            << QByteArray("[usersession]\nuid=42\naccountName=alice\n") << "42"
            << "";
        QTest::newRow("other group") << QByteArray("[session]\nuid=42\naccoutName=alice\n") << ""
                                     << "";
        QTest::newRow("utf-8 name") << QByteArray("[usersession]\nuid=7\naccoutName=张三\n") << "7"
                                    << "张三";
        QTest::newRow("escaped name as older writers store it")
            << QByteArray("[usersession]\nuid=7\naccoutName=\\x5f20\\x4e09\n") << "7"
            << "张三";
        QTest::newRow("garbage") << QByteArray("\x01\x02 not an ini [[[\n") << ""
                                 << "";
    }
    void sessionFile() {
        QFETCH(QByteArray, text);
        QFETCH(QString, uid);
        QFETCH(QString, accountName);
        writeSessionFile(text);
        UserSession s;
        s.loadFromFile();
        QCOMPARE(s.uid, uid);
        QCOMPARE(s.accountName, accountName);
    }

    void missingSessionFileOpensThePlainUrl() {
        UserSession s;
        s.loadFromFile();
        QVERIFY(s.uid.isEmpty());
        QVERIFY(s.accountName.isEmpty());
        QCOMPARE(jump(s, "/user/index"), QStringList{base + "/user/index"});
        QCOMPARE(service.requestCount("/user/getTempSession"), 0);
    }

    void halfSignedInSendsNoRequest_data() {
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("name");
        QTest::newRow("no name") << "42"
                                 << "";
        QTest::newRow("no uid") << ""
                                << "alice";
    }
    void halfSignedInSendsNoRequest() {
        QFETCH(QString, uid);
        QFETCH(QString, name);
        int error = -1;
        QCOMPARE(signedIn(uid, name).requestTempSession(&error), QString());
        QCOMPARE(error, 0);
        QCOMPARE(jump(signedIn(uid, name), "/mycenter/getCouponInfo"),
                 QStringList{base + "/mycenter/getCouponInfo"});
        QCOMPARE(service.requestCount("/user/getTempSession"), 0);
    }

    void signedInJump() {
        service.setRoute("/user/getTempSession",
                         DevRoute::json(R"({"code":"0","tempSession":"T0k3n"})"));
        QCOMPARE(jump(signedIn(), "/user/index"),
                 QStringList{base + "/user/skip?tempSession=T0k3n&skipUrl=/user/index"});
        QCOMPARE(service.requestCount("/user/getTempSession"), 1);
        QCOMPARE(service.requests().last().query, QStringLiteral("userName=alice&userId=42"));
    }

    // Only a usable text session signs the link in; anything else opens the plain URL.
    void unusableRepliesOpenThePlainUrl_data() {
        QTest::addColumn<int>("httpStatus");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("error");
        QTest::newRow("code as a number")
            << 200 << QByteArray(R"({"code":0,"tempSession":"T"})") << 0;
        QTest::newRow("no session") << 200 << QByteArray(R"({"code":"0"})") << 0;
        QTest::newRow("empty session")
            << 200 << QByteArray(R"({"code":"0","tempSession":""})") << 0;
        QTest::newRow("session as a number")
            << 200 << QByteArray(R"({"code":"0","tempSession":12})") << 0;
        QTest::newRow("session as an object")
            << 200 << QByteArray(R"({"code":"0","tempSession":{"v":"T"}})") << 0;
        QTest::newRow("array reply") << 200 << QByteArray(R"(["T"])") << 0;
        QTest::newRow("string reply") << 200 << QByteArray(R"("T")") << 0;
        QTest::newRow("not json") << 200 << QByteArray("<html/>") << 0;
        QTest::newRow("404") << 404 << QByteArray(R"({"code":"0","tempSession":"T"})")
                             << int(ReplyNotFound);
        QTest::newRow("500") << 500 << QByteArray(R"({"code":"0","tempSession":"T"})")
                             << int(ReplyFailed);
    }
    void unusableRepliesOpenThePlainUrl() {
        QFETCH(int, httpStatus);
        QFETCH(QByteArray, body);
        QFETCH(int, error);
        DevRoute r = DevRoute::json(body);
        r.status = httpStatus;
        service.setRoute("/user/getTempSession", r);
        int actualError = -1;
        QCOMPARE(signedIn().requestTempSession(&actualError), QString());
        QCOMPARE(actualError, error);
        QCOMPARE(jump(signedIn(), "/user/index"), QStringList{base + "/user/index"});
    }

    void booleanCodeStillSignsIn() {
        service.setRoute("/user/getTempSession",
                         DevRoute::json(R"({"code":true,"tempSession":"S"})"));
        QCOMPARE(jump(signedIn(), "/user/index"),
                 QStringList{base + "/user/skip?tempSession=S&skipUrl=/user/index"});
    }

    void silentServiceOpensThePlainUrl() {
        DevRoute r;
        r.hang = true;
        service.setRoute("/user/getTempSession", r);
        int error = -1;
        QCOMPARE(signedIn().requestTempSession(&error), QString());
        QCOMPARE(error, int(ReplyPending));
    }

    // User values could carry '&', '=' or spaces; they must not change the query's shape.
    void valuesArePercentEncoded() {
        service.setRoute("/user/getTempSession",
                         DevRoute::json(R"({"code":"0","tempSession":"a b&c=d/é"})"));
        const QStringList opened = jump(signedIn("7/8 ?", "li lei&x=1"), "/user/index");
        QCOMPARE(service.requests().last().query,
                 QStringLiteral("userName=li%20lei%26x%3D1&userId=7%2F8%20%3F"));
        QCOMPARE(opened, QStringList{base + "/user/skip?tempSession=a%20b%26c%3Dd%2F%C3%A9"
                                            "&skipUrl=/user/index"});
    }

    void nonAsciiNameIsSentAsUtf8() {
        service.setRoute("/user/getTempSession",
                         DevRoute::json(R"({"code":"0","tempSession":"S"})"));
        jump(signedIn("9", "张三"), "/user/index");
        QCOMPARE(service.requests().last().query,
                 QStringLiteral("userName=%E5%BC%A0%E4%B8%89&userId=9"));
    }

    void plainIdentifiersAreUnchanged() {
        QCOMPARE(signedIn("u-42_x.9~", "Alice.B-7").tempSessionUrl(),
                 base + "/user/getTempSession?userName=Alice.B-7&userId=u-42_x.9~");
    }

    void onlyWebLinksReachTheBrowser_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opened");
        QTest::newRow("http") << "http://a.example/x?y=1" << true;
        QTest::newRow("https") << "HTTPS://a.example/" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("mailto") << "mailto:someone@a.example" << false;
        QTest::newRow("ftp") << "ftp://a.example/f" << false;
        QTest::newRow("relative") << "/user/index" << false;
        QTest::newRow("no host") << "http:///path" << false;
        QTest::newRow("empty") << "" << false;
    }
    void onlyWebLinksReachTheBrowser() {
        QFETCH(QString, link);
        QFETCH(bool, opened);
        UrlCatcher catcher;
        QCOMPARE(tidewell::openInBrowser(link), opened);
        QCOMPARE(catcher.opened.size(), opened ? 1 : 0);
    }
};

TIDEWELL_TEST_MAIN(TestUserSession)
#include "tst_user_session.moc"
