#include "test_support.h"

#include "popups/scaling.h"
#include "popups/tidewell_widget_base.h"

#include <json/value.h>

#include <QLabel>
#include <QPointer>
#include <QScreen>

// Run under several screen set-ups (see CMakeLists.txt). Whoever scales, Qt through the device
// pixel ratio or our functions through the logical dpi, the popup ends up the same number of
// device pixels wide: never scaled by both.
class TestScreenScale : public QObject {
    Q_OBJECT

private slots:
    void popupHasOneScale() {
        const double expectedPhysical = qEnvironmentVariable("EXPECT_PHYSICAL_WIDTH").toDouble();
        const int expectedLogical = qEnvironmentVariableIntValue("EXPECT_SCALED_300");
        QVERIFY(expectedPhysical > 0 && expectedLogical > 0);

        QCOMPARE(tidewell::scaleX(300), expectedLogical);
        QCOMPARE(tidewell::scaleY(200), expectedLogical * 2 / 3);

        Json::Value r(Json::objectValue);
        r["title"] = "T";
        r["brief"] = "B";
        auto* p = new TidewellWidgetBase;
        QPointer<TidewellWidgetBase> alive(p);
        p->setData(r);
        QVERIFY(p->popup());
        QCOMPARE(p->width(), expectedLogical);
        QCOMPARE(p->width() * p->devicePixelRatioF(), expectedPhysical);
        const QScreen* screen = QGuiApplication::primaryScreen();
        QTRY_VERIFY_WITH_TIMEOUT(screen->availableGeometry().contains(p->geometry()), 10000);
        delete alive.data();
    }
};

TIDEWELL_TEST_MAIN(TestScreenScale)
#include "tst_screen_scale.moc"
