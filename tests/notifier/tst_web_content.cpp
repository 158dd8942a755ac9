#include "test_support.h"

#include "core/clock.h"
#include "core/endpoints.h"
#include "core/json_text.h"
#include "core/msg_manager.h"
#include "dev_service.h"
#include "popups/scaling.h"
#include "popups/tidewell_web_content.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

const QByteArray kPage = "<html><head><meta charset=\"utf-8\"></head><body style=\"margin:0\">"
                         "<a id=\"out\" href=\"http://elsewhere.example/offer?a=1\" "
                         "style=\"display:block;width:100%;height:100px\">Offer</a>"
                         "<a id=\"script\" href=\"javascript:void(0)\">x</a>"
                         "<div style=\"height:3000px\">long</div></body></html>";

DevRoute htmlRoute(const QByteArray& html) {
    DevRoute r;
    r.contentType = "text/html; charset=utf-8";
    r.body = html;
    return r;
}

// Counts the times a widget was shown.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

} // namespace

class TestWebContent : public QObject {
    Q_OBJECT

    DevService service;
    QPointer<TidewellWebContent> current;

    Json::Value record(const QString& contentUrl, const QString& jmpUrl = QString()) {
        Json::Value r(Json::objectValue);
        r["title"] = "Offer";
        r["brief"] = "Brief";
        r["contentUrl"] = contentUrl.toStdString();
        if (!jmpUrl.isEmpty())
            r["jmpUrl"] = jmpUrl.toStdString();
        return r;
    }

    // Builds a popup the way the manager does; it is deleted by the caller when it declined.
    TidewellWebContent* make(const Json::Value& r, ShowCounter* counter = nullptr) {
        auto* p = new TidewellWebContent;
        current = p;
        if (counter)
            p->installEventFilter(counter);
        p->setData(r);
        return p;
    }

    bool runJs(QWebEnginePage* page, const QString& script) {
        bool done = false;
        page->runJavaScript(script, [&](const QVariant&) { done = true; });
        return QTest::qWaitFor([&] { return done; }, 20000);
    }

private slots:
    void initTestCase() {
        QVERIFY(service.listen());
        tidewell::setBaseUrl(service.baseUrl());
        service.setRoute("/page", htmlRoute(kPage));
    }
    void cleanup() {
        TidewellWebContent::loadLimitMs = 20000;
        tidewell::setDpiOverride(0, 0);
        delete current.data();
        QTest::qWait(0);
    }

    void showsThePageOnceLoaded() {
        ShowCounter counter;
        auto* p = make(record(service.baseUrl() + "/page"), &counter);
        QVERIFY(p->popup());
        // Shown only after loading ended, and only once.
        QVERIFY(p->loadDone && p->loadOk);
        QVERIFY(p->isVisible());
        QCOMPARE(counter.shows, 1);
        QVERIFY(p->webView);
        QCOMPARE(p->webView->geometry(), QRect(0, 30, 300, 130));
        QCOMPARE(p->webView->contextMenuPolicy(), Qt::NoContextMenu);
        QVERIFY(!p->webView->page()->settings()->testAttribute(QWebEngineSettings::ShowScrollBars));
        QCOMPARE(p->webView->zoomFactor(), 1.0);
        QVERIFY(!p->contentWidget);
        QCOMPARE(service.requestCount("/page"), 1);
    }

    void zoomFollowsTheScreen() {
        tidewell::setDpiOverride(144, 144);
        auto* p = make(record(service.baseUrl() + "/page"));
        QVERIFY(p->popup());
        QCOMPARE(p->size(), QSize(450, 300));
        QCOMPARE(p->webView->zoomFactor(), 1.5);
    }

    void failedLoadShowsNothing_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("limitMs");
        QTest::newRow("unreachable") << "http://127.0.0.1:1/page" << 30000;
        QTest::newRow("never answers") << "/hang" << 1500;
        QTest::newRow("not found") << "/missing" << 30000;
        QTest::newRow("server error") << "/broken" << 30000;
    }
    void failedLoadShowsNothing() {
        QFETCH(QString, url);
        QFETCH(int, limitMs);
        DevRoute hang;
        hang.hang = true;
        service.setRoute("/hang", hang);
        DevRoute missing = htmlRoute("<html><body>no such page</body></html>");
        missing.status = 404;
        service.setRoute("/missing", missing);
        DevRoute broken = htmlRoute("<html><body>oops</body></html>");
        broken.status = 500;
        service.setRoute("/broken", broken);
        if (url.startsWith('/'))
            url.prepend(service.baseUrl());
        TidewellWebContent::loadLimitMs = limitMs;
        ShowCounter counter;
        auto* p = make(record(url), &counter);
        QVERIFY(!p->popup());
        QCOMPARE(counter.shows, 0);
        QVERIFY(!p->isVisible());
        // It closed itself; the pending deletion is safe to pre-empt, as the manager does.
        QTRY_VERIFY_WITH_TIMEOUT(current.isNull(), 10000);
    }

    void pageLinksOpenInTheBrowser() {
        UrlCatcher catcher;
        auto* p = make(record(service.baseUrl() + "/page"));
        QVERIFY(p->popup());
        const QUrl pageUrl = p->webView->url();
        QVERIFY(runJs(p->webView->page(), "document.getElementById('out').click()"));
        QTRY_VERIFY_WITH_TIMEOUT(current.isNull(), 20000);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl("http://elsewhere.example/offer?a=1")});
        QCOMPARE(pageUrl, QUrl(service.baseUrl() + "/page"));
    }

    void scriptLinksAreDropped() {
        UrlCatcher catcher;
        auto* p = make(record(service.baseUrl() + "/page"));
        QVERIFY(p->popup());
        QVERIFY(runJs(p->webView->page(), "document.getElementById('script').click()"));
        QTest::qWait(300);
        QVERIFY(catcher.opened.isEmpty());
        QVERIFY(!current.isNull()); // a script link is not a navigation: the popup stays
    }

    // The manager counts a page that never loads as not shown, and deletes the popup once.
    void messageOfTypeTwo() {
        tidewell::setTodayOverride(QDate(2026, 6, 1));
        const auto serve = [&](const QString& contentUrl, const char* id) {
            const QJsonObject rec{{"title", "T"}, {"brief", "B"}, {"contentUrl", contentUrl}};
            const QJsonObject body{
                {"type", "2"},
                {"id", id},
                {"msgData", QString::fromUtf8(QJsonDocument(rec).toJson(QJsonDocument::Compact))}};
            service.setRoute(
                "/message/getMessage",
                DevRoute::json(QJsonDocument(QJsonObject{{"ret", 1}, {"body", body}}).toJson()));
        };
        clearState();
        serve("http://127.0.0.1:1/nothing", "21");
        {
            MsgManager manager;
            QVERIFY(!manager.start());
        }
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("4294967295"));
        QTest::qWait(50); // a double deletion would surface here
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TidewellWebContent*>(w));

        serve(service.baseUrl() + "/page", "22");
        {
            MsgManager manager;
            QVERIFY(manager.start());
        }
        QCOMPARE(storedState("LastId").toString(), QStringLiteral("22"));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<TidewellWebContent*>(w)) {
                QVERIFY(p->isVisible());
                current = p;
            }
        QVERIFY(!current.isNull());
    }
};

TIDEWELL_TEST_MAIN(TestWebContent)
#include "tst_web_content.moc"
