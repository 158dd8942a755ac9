#include "test_support.h"

#include "core/endpoints.h"
#include "core/json_text.h"
#include "core/user_session.h"
#include "popups/placement.h"
#include "popups/popup_factory.h"
#include "popups/scaling.h"
#include "popups/tidewell_default.h"
#include "popups/tidewell_web_content.h"
#include "popups/tidewell_widget_base.h"

#include <json/value.h>

#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>

namespace {

Json::Value record(const char* title, const char* brief, const char* jmpUrl = nullptr) {
    Json::Value r(Json::objectValue);
    r["title"] = title;
    r["brief"] = brief;
    if (jmpUrl)
        r["jmpUrl"] = jmpUrl;
    return r;
}

// Opens the protected steps to the test.
class Probe : public TidewellWidgetBase {
public:
    using TidewellWidgetBase::hasContent;
    using TidewellWidgetBase::onJumpURL;
};

QRect restingRect(const QSize& size) {
    const QRect a = QGuiApplication::primaryScreen()->availableGeometry();
    return QRect(QPoint(a.x() + a.width() - size.width(), a.y() + a.height() - size.height()),
                 size);
}

} // namespace

class TestPopups : public QObject {
    Q_OBJECT

    QString base = QStringLiteral("http://svc.example");

    // A shown popup that the test still holds; closed after each test.
    QPointer<TidewellWidgetBase> shown;

    TidewellWidgetBase* show(const Json::Value& r) {
        auto* p = new TidewellWidgetBase;
        p->setData(r);
        if (!p->popup()) {
            delete p;
            return nullptr;
        }
        shown = p;
        return p;
    }

private slots:
    void initTestCase() { tidewell::setBaseUrl(base); }
    void cleanup() {
        tidewell::setDpiOverride(0, 0);
        delete shown.data();
    }

    void scaling_data() {
        QTest::addColumn<double>("dpiX");
        QTest::addColumn<double>("dpiY");
        QTest::addColumn<int>("x300");
        QTest::addColumn<int>("y200");
        QTest::addColumn<float>("factor");
        QTest::newRow("96") << 96.0 << 96.0 << 300 << 200 << 1.0f;
        QTest::newRow("120 is not scaled") << 120.0 << 120.0 << 300 << 200 << 1.0f;
        QTest::newRow("144") << 144.0 << 144.0 << 450 << 300 << 1.5f;
        // One axis above the threshold scales both, each by its own dpi.
        QTest::newRow("only y high") << 96.0 << 144.0 << 300 << 300 << 1.5f;
        QTest::newRow("only x high") << 144.0 << 96.0 << 450 << 200 << 1.0f;
        // Truncated, not rounded: 121/96*300 = 378.1, 121/96*200 = 252.08.
        QTest::newRow("121") << 121.0 << 121.0 << 378 << 252 << float(121 / 96.0);
    }
    void scaling() {
        QFETCH(double, dpiX);
        QFETCH(double, dpiY);
        QFETCH(int, x300);
        QFETCH(int, y200);
        QFETCH(float, factor);
        tidewell::setDpiOverride(dpiX, dpiY);
        QCOMPARE(tidewell::scaleX(300), x300);
        QCOMPARE(tidewell::scaleY(200), y200);
        QCOMPARE(tidewell::scaleFactor(), factor);
    }

    void readsRecordMembers_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("brief");
        QTest::addColumn<QString>("jmpUrl");
        QTest::addColumn<bool>("shows");
        QTest::newRow("all text")
            << QByteArray("{\"title\":\"T\",\"brief\":\"B\",\"jmpUrl\":\"http://x.example/a\"}")
            << "T"
            << "B"
            << "http://x.example/a" << true;
        QTest::newRow("booleans are text")
            << QByteArray("{\"title\":true,\"brief\":false}") << "true"
            << "false"
            << "" << true;
        QTest::newRow("number title stops reading")
            << QByteArray("{\"title\":5,\"brief\":\"B\",\"jmpUrl\":\"http://x.example\"}") << ""
            << ""
            << "" << false;
        QTest::newRow("array brief keeps title")
            << QByteArray("{\"title\":\"T\",\"brief\":[1],\"jmpUrl\":\"http://x.example\"}") << "T"
            << ""
            << "" << false;
        QTest::newRow("missing brief") << QByteArray("{\"title\":\"T\"}") << "T"
                                       << ""
                                       << "" << false;
    }
    void readsRecordMembers() {
        QFETCH(QByteArray, json);
        Json::Value r;
        QVERIFY(tidewell::json::parse(json.toStdString(), r));
        Probe p;
        p.setData(r);
        QTEST(p.title, "title");
        QTEST(p.brief, "brief");
        QTEST(p.jmpUrl, "jmpUrl");
        QTEST(p.hasContent(), "shows");
        if (!p.hasContent()) {
            QVERIFY(!p.popup());
            QVERIFY(!p.isVisible());
            QVERIFY(!p.contentWidget); // nothing was built
        }
    }

    void geometry_data() {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<double>("k");
        QTest::newRow("96") << 96.0 << 1.0;
        QTest::newRow("144") << 144.0 << 1.5;
    }
    void geometry() {
        QFETCH(double, dpi);
        QFETCH(double, k);
        tidewell::setDpiOverride(dpi, dpi);
        auto* p = show(record("Title", "Body", "http://svc.example/news"));
        QVERIFY(p);
        const auto len = [k](int v) { return int(k * v); };
        QCOMPARE(p->size(), QSize(len(300), len(200)));
        QCOMPARE(p->minimumSize(), p->maximumSize());
        QVERIFY(p->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(p->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(p->windowFlags().testFlag(Qt::Tool));
        QVERIFY(p->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(p->testAttribute(Qt::WA_QuitOnClose));

        auto* bar = p->findChild<QWidget*>("titleBar");
        QVERIFY(bar);
        QCOMPARE(bar->geometry(), QRect(0, 0, len(300), len(30)));
        QCOMPARE(p->contentWidget->geometry(), QRect(0, len(30), len(300), len(130)));
        auto* bottom = p->findChild<QWidget*>("bottomBar");
        QVERIFY(bottom);
        QCOMPARE(bottom->geometry(), QRect(0, len(160), len(300), len(40)));
        QCOMPARE(p->findChild<QPushButton*>("closeButton")->size(), QSize(len(24), len(24)));
        QCOMPARE(p->findChild<QLabel*>("logo")->size(), QSize(len(24), len(24)));
        QCOMPARE(p->findChild<QLabel*>("logo")->pixmap().height(), len(24));
        QCOMPARE(p->findChild<QLabel*>("detailLink")->width(), len(60));
        QCOMPARE(p->findChild<QLabel*>("title")->height(), len(30));
    }

    void slidesIntoTheCorner() {
        auto* p = show(record("Title", "Body"));
        QVERIFY(p);
        const QScreen* screen = QGuiApplication::primaryScreen();
        QVERIFY(p->isVisible());
        // It starts below the screen and comes to rest on the available area's corner.
        QVERIFY(p->y() > restingRect(p->size()).y());
        QTRY_COMPARE_WITH_TIMEOUT(p->geometry(), restingRect(p->size()), 10000);
        QVERIFY(screen->availableGeometry().contains(p->geometry()));
    }

    void slidePathStaysOnTheScreen_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        // The common case: the design's own position, just below the screen to above the bar.
        QTest::newRow("taskbar at the bottom") << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1920, 1040)
                                               << QPoint(1620, 1080) << QPoint(1620, 840);
        QTest::newRow("taskbar on the left") << QRect(0, 0, 1920, 1080) << QRect(60, 0, 1860, 1080)
                                             << QPoint(1620, 1080) << QPoint(1620, 880);
        QTest::newRow("taskbar at the top") << QRect(0, 0, 1920, 1080) << QRect(0, 40, 1920, 1040)
                                            << QPoint(1620, 1080) << QPoint(1620, 880);
        QTest::newRow("taskbar on the right") << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1860, 1080)
                                              << QPoint(1560, 1080) << QPoint(1560, 880);
        // A primary screen to the right of and below another one.
        QTest::newRow("offset screen")
            << QRect(1920, 200, 1280, 1024) << QRect(1920, 200, 1280, 984) << QPoint(2900, 1224)
            << QPoint(2900, 984);
    }
    void slidePathStaysOnTheScreen() {
        QFETCH(QRect, screen);
        QFETCH(QRect, available);
        const QSize size(300, 200);
        const tidewell::SlidePath path = tidewell::slidePath(screen, available, size);
        QTEST(path.start.topLeft(), "start");
        QTEST(path.end.topLeft(), "end");
        QCOMPARE(path.end.size(), size);
        QVERIFY(available.contains(path.end));
        QVERIFY(!screen.intersects(path.start)); // enters from below, unseen
    }

    void plainTextWithoutLink() {
        UrlCatcher catcher;
        auto* p = show(record("<i>T</i>", "Body"));
        QVERIFY(p);
        QCOMPARE(p->findChild<QLabel*>("title")->text(), QStringLiteral("<i>T</i>"));
        QCOMPARE(p->findChild<QLabel*>("body")->text(), QStringLiteral("Body"));
        QVERIFY(!p->findChild<QLabel*>("detailLink"));
        QVERIFY(p->findChild<QWidget*>("bottomBar")->children().isEmpty());

        // A press still closes it; an empty link goes nowhere.
        QTest::mouseClick(p->contentWidget, Qt::LeftButton, {}, QPoint(20, 20));
        QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
        QVERIFY(catcher.opened.isEmpty());
    }

    void contentPressOpensLink_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("where");
        QTest::newRow("left on body") << Qt::LeftButton << "body";
        QTest::newRow("right on title") << Qt::RightButton << "title";
        QTest::newRow("middle on the area") << Qt::MiddleButton << "content";
    }
    void contentPressOpensLink() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, where);
        UrlCatcher catcher;
        auto* p = show(record("T", "B <a href=\"#\">more</a>", "http://svc.example/news?id=1"));
        QVERIFY(p);
        QWidget* target = p->findChild<QWidget*>(where);
        QVERIFY(target);
        // Inside the text, where the label shows the link.
        QTest::mouseClick(target, button, {}, QPoint(where == "body" ? 24 : 150, 15));
        QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl("http://svc.example/news?id=1")});
    }

    void linksGoWhereTheyPoint_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened");
        // Nobody signed in: the home page opens unsigned, without asking for a session.
        QTest::newRow("home page") << "http://other.example/user/index"
                                   << "http://svc.example/user/index";
        QTest::newRow("trailing slash is just a link") << "http://other.example/user/index/"
                                                       << "http://other.example/user/index/";
        QTest::newRow("case matters") << "http://other.example/User/Index"
                                      << "http://other.example/User/Index";
        QTest::newRow("script link dropped") << "javascript:alert(1)"
                                             << "";
        QTest::newRow("local file dropped") << "file:///etc/passwd"
                                            << "";
    }
    void linksGoWhereTheyPoint() {
        QFETCH(QString, link);
        QFETCH(QString, opened);
        UserSession::instance().uid.clear();
        UrlCatcher catcher;
        auto* p = new Probe;
        QPointer<QWidget> alive(p);
        p->setData(record("T", "B", link.toUtf8().constData()));
        QVERIFY(p->popup());
        p->onJumpURL(link);
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 10000); // closes in every case
        QStringList got;
        for (const QUrl& u : catcher.opened)
            got << u.toString();
        QCOMPARE(got, opened.isEmpty() ? QStringList() : QStringList{opened});
    }

    // A link with quotes and markup stays one attribute and comes back as it was sent.
    void detailLinkEscapesServerText() {
        UrlCatcher catcher;
        const char* link = "http://svc.example/a?x=\"><b>y</b>&z=1";
        auto* p = show(record("T", "B", link));
        QVERIFY(p);
        auto* detail = p->findChild<QLabel*>("detailLink");
        QVERIFY(detail);
        QVERIFY(!detail->text().contains(QStringLiteral("\"><b>")));
        QVERIFY(!p->findChild<QLabel*>("title")->text().contains(QStringLiteral("\"><b>")));
        emit detail->linkActivated(QString::fromUtf8(link));
        QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first(), QUrl(QString::fromUtf8(link)));
    }

    void detailLinkActivationCarriesTheTarget() {
        auto* p = show(record("T", "B", "http://svc.example/x?a=1&b=2"));
        QVERIFY(p);
        auto* detail = p->findChild<QLabel*>("detailLink");
        // The label's rich text must hold exactly one link whose target is the record's.
        QTextDocument doc;
        doc.setHtml(detail->text());
        QString href;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isAnchor())
                    href = it.fragment().charFormat().anchorHref();
        QCOMPARE(href, QStringLiteral("http://svc.example/x?a=1&b=2"));
        QCOMPARE(doc.toPlainText(), QStringLiteral("Detail"));
    }

    void dragsWithTheLeftButtonOnly() {
        {
            // A press that closes a popup is never released on it.
            UrlCatcher catcher;
            auto* gone = show(record("T", "B", "http://svc.example/a"));
            QVERIFY(gone);
            QTest::mousePress(gone->contentWidget, Qt::LeftButton, {}, QPoint(5, 5));
            QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
        }
        auto* p = show(record("T", "B"));
        QVERIFY(p);
        QTRY_COMPARE_WITH_TIMEOUT(p->geometry(), restingRect(p->size()), 10000);
        QWidget* bar = p->findChild<QWidget*>("titleBar");
        const QPoint before = p->pos();

        const auto moveTo = [bar](QPointF pos, Qt::MouseButtons held) {
            QMouseEvent move(QEvent::MouseMove, pos, bar->mapToGlobal(pos), Qt::NoButton, held, {});
            QApplication::sendEvent(bar, &move);
        };
        // A fresh popup is not being dragged, whatever happened to the one before it.
        moveTo(QPointF(10, 10), Qt::NoButton);
        QCOMPARE(p->pos(), before);

        QTest::mousePress(bar, Qt::RightButton, {}, QPoint(50, 10));
        moveTo(QPointF(30, 5), Qt::RightButton);
        QTest::mouseRelease(bar, Qt::RightButton, {}, QPoint(30, 5));
        QCOMPARE(p->pos(), before);

        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(50, 10));
        moveTo(QPointF(30, 4), Qt::LeftButton);
        QCOMPARE(p->pos(), before + QPoint(-20, -6));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(30, 4));
        const QPoint after = p->pos();
        moveTo(QPointF(10, 10), Qt::NoButton);
        QCOMPARE(p->pos(), after); // released: no longer follows the mouse
        QVERIFY(p->isVisible());
    }

    void closeButtonClosesAndDeletes() {
        auto* p = show(record("T", "B"));
        QVERIFY(p);
        auto* button = p->findChild<QPushButton*>("closeButton");
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
    }

    // The program runs its event loop only while the popup is up.
    void closingThePopupEndsTheEventLoop() {
        auto* p = show(record("T", "B"));
        QVERIFY(p);
        QTimer::singleShot(300, p, &QWidget::close);

        QTimer guard; // a hang guard, not a measure of speed
        guard.setSingleShot(true);
        bool guardFired = false;
        connect(&guard, &QTimer::timeout, [&] {
            guardFired = true;
            QCoreApplication::exit(1);
        });
        guard.start(20000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!guardFired);
        QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
    }

    void factoryChoosesByType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("cls");
        QTest::newRow("1") << 1 << "TidewellWidgetBase";
        QTest::newRow("2") << 2 << "TidewellWebContent";
        QTest::newRow("3") << 3 << "TidewellDefault";
        QTest::newRow("7") << 7 << "TidewellDefault";
    }
    void factoryChoosesByType() {
        QFETCH(int, type);
        QFETCH(QString, cls);
        std::unique_ptr<TidewellBase> p(tidewell::createPopup(type));
        QVERIFY(p);
        auto* object = dynamic_cast<QObject*>(p.get());
        QVERIFY(object);
        QCOMPARE(QString::fromLatin1(object->metaObject()->className()), cls);
        QVERIFY(!p->isManaged());
        QVERIFY(!static_cast<QWidget*>(object)->parentWidget());
    }

    void defaultPopupAnnouncesInChinese() {
        QTranslator zh;
        QVERIFY(zh.load(QStringLiteral(":Tidewell/tidewell_zh.qm")));
        QCoreApplication::installTranslator(&zh);
        UrlCatcher catcher;
        auto* p = new TidewellDefault;
        shown = p;
        p->setData(Json::Value(Json::objectValue));
        QVERIFY(p->popup());
        QCOMPARE(p->title, QStringLiteral("您收到了一条消息"));
        QVERIFY(p->brief.startsWith(QStringLiteral("您刚刚收到了一条消息")));
        QCOMPARE(p->jmpUrl, base + QStringLiteral("/"));
        QVERIFY(p->findChild<QLabel*>("detailLink")->text().contains(QStringLiteral("查看详情")));
        QCOMPARE(p->findChild<QPushButton*>("closeButton")->toolTip(), QStringLiteral("关闭"));
        QCoreApplication::removeTranslator(&zh);

        QTest::mouseClick(p->findChild<QWidget*>("body"), Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 10000);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl(base + QStringLiteral("/"))});
    }

    // The web view is not needed to decline: these never build anything.
    void webContentNeedsAWebPage_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("no contentUrl") << QByteArray("{\"title\":\"T\",\"brief\":\"B\"}");
        QTest::newRow("number") << QByteArray("{\"title\":\"T\",\"brief\":\"B\",\"contentUrl\":7}");
        QTest::newRow("no title") << QByteArray(
            "{\"brief\":\"B\",\"contentUrl\":\"http://svc.example/p\"}");
        QTest::newRow("local file") << QByteArray(
            "{\"title\":\"T\",\"brief\":\"B\",\"contentUrl\":\"file:///etc/passwd\"}");
        QTest::newRow("script") << QByteArray(
            "{\"title\":\"T\",\"brief\":\"B\",\"contentUrl\":\"javascript:alert(1)\"}");
    }
    void webContentNeedsAWebPage() {
        QFETCH(QByteArray, json);
        Json::Value r;
        QVERIFY(tidewell::json::parse(json.toStdString(), r));
        TidewellWebContent p;
        p.setData(r);
        QVERIFY(!p.popup());
        QVERIFY(!p.webView);
        QVERIFY(!p.isVisible());
    }
};

TIDEWELL_TEST_MAIN(TestPopups)
#include "tst_popups.moc"
