#include "test_support.h"

#include "core/msg_manager.h"

#include <QDomDocument>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QResource>
#include <QTranslator>

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void imagesHaveTheirSizesAndLooks() {
        const QImage logo(QStringLiteral(":Tidewell/Images/logo.png"));
        QCOMPARE(logo.size(), QSize(58, 58));
        QVERIFY(logo.hasAlphaChannel());
        QCOMPARE(qAlpha(logo.pixel(0, 0)), 0);

        const QImage close(QStringLiteral(":Tidewell/Images/close.png"));
        QCOMPARE(close.size(), QSize(30, 30));
        QCOMPARE(qAlpha(close.pixel(0, 0)), 0);
        const QRgb cross = close.pixel(15, 15);
        QCOMPARE(qAlpha(cross), 255);
        QVERIFY(qGray(cross) > 200);

        const QImage hover(QStringLiteral(":Tidewell/Images/close_hover.png"));
        QCOMPARE(hover.size(), QSize(30, 30));
        QCOMPARE(hover.pixel(0, 0), qRgba(212, 64, 39, 255));
        QCOMPARE(hover.pixel(29, 29), qRgba(212, 64, 39, 255));
        QCOMPARE(hover.pixel(15, 15), qRgba(255, 255, 255, 255));
    }

    void resourcesAreStoredUncompressed_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("logo") << ":Tidewell/Images/logo.png";
        QTest::newRow("close") << ":Tidewell/Images/close.png";
        QTest::newRow("close hover") << ":Tidewell/Images/close_hover.png";
        QTest::newRow("catalogue") << ":Tidewell/tidewell_zh.qm";
    }
    void resourcesAreStoredUncompressed() {
        QFETCH(QString, path);
        const QResource resource(path);
        QVERIFY(resource.isValid());
        QVERIFY(resource.size() > 0);
        QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    }

    void textsTranslateInTheirOwnContextOnly() {
        QTranslator catalogue;
        QVERIFY(catalogue.load(QStringLiteral(":Tidewell/tidewell_zh.qm")));
        QCOMPARE(catalogue.translate("MsgManager", "yyyy-MM-dd"), QStringLiteral("yyyy年MM月dd日"));
        QCOMPARE(catalogue.translate("TidewellWidgetBase", "yyyy-MM-dd"), QString());
        QCOMPARE(catalogue.translate("QObject", "Close"), QString());
        QCOMPARE(catalogue.translate("TidewellWidgetBase", "Close"), QStringLiteral("关闭"));
        QCOMPARE(catalogue.translate("QObject", "You got a message"),
                 QStringLiteral("您收到了一条消息"));
        QCOMPARE(catalogue.translate("MsgManager", "You got a message"), QString());
        QCOMPARE(catalogue.translate("TidewellCouponMsg", "View my coupon"),
                 QStringLiteral("查看我的优惠券"));
    }

    void installedCatalogueServesTr() {
        QCOMPARE(MsgManager::tr("coupon_vip_new%1%2%3%4"),
                 QStringLiteral("coupon_vip_new%1%2%3%4")); // the key without a catalogue
        QTranslator catalogue;
        QVERIFY(catalogue.load(QStringLiteral(":Tidewell/tidewell_zh.qm")));
        QCoreApplication::installTranslator(&catalogue);
        const QString format = MsgManager::tr("yyyy-MM-dd");
        QCOMPARE(QLocale::c().toString(QDate(2016, 11, 30), format),
                 QStringLiteral("2016年11月30日"));
        const QString brief = MsgManager::tr("coupon_vip_new%1%2%3%4")
                                  .arg(QStringLiteral("3日后"), QStringLiteral("100"),
                                       QStringLiteral("10"), QStringLiteral("2016年11月30日"));
        QVERIFY(brief.startsWith(QStringLiteral("您的QuillonVIP会员将于<b>3日后</b>到期。")));
        QVERIFY(brief.contains(QStringLiteral("\"<b>满100减10</b>\"")));
        QVERIFY(brief.endsWith(QStringLiteral("<br><a href=\"#\">>>点此立即使用</a>")));
        QCoreApplication::removeTranslator(&catalogue);
    }

    // Every message of the source catalogue made it into the compiled one, and no more exist.
    void compiledCatalogueHoldsTheSource() {
        QFile ts(QStringLiteral(TIDEWELL_TS_FILE));
        QVERIFY(ts.open(QIODevice::ReadOnly));
        QDomDocument doc;
        QVERIFY(doc.setContent(&ts));
        QTranslator catalogue;
        QVERIFY(catalogue.load(QStringLiteral(":Tidewell/tidewell_zh.qm")));
        const QDomNodeList contexts = doc.elementsByTagName(QStringLiteral("context"));
        QCOMPARE(contexts.size(), 4);
        int messages = 0;
        for (int c = 0; c < contexts.size(); ++c) {
            const QDomElement context = contexts.at(c).toElement();
            const QByteArray name =
                context.firstChildElement(QStringLiteral("name")).text().toUtf8();
            for (QDomElement m = context.firstChildElement(QStringLiteral("message")); !m.isNull();
                 m = m.nextSiblingElement(QStringLiteral("message"))) {
                ++messages;
                const QByteArray source =
                    m.firstChildElement(QStringLiteral("source")).text().toUtf8();
                const QDomElement translation = m.firstChildElement(QStringLiteral("translation"));
                QVERIFY2(!translation.hasAttribute(QStringLiteral("type")), source.constData());
                QCOMPARE(catalogue.translate(name.constData(), source.constData()),
                         translation.text());
            }
        }
        QCOMPARE(messages, 19);
    }

    void qtCatalogueBesideTheProgram() {
        if (!QFile::exists(QStringLiteral(SYSTEM_QT_CATALOGUE)))
            QSKIP("this system has no Chinese catalogue of Qt");
        QTranslator qt;
        QVERIFY(qt.load(QCoreApplication::applicationDirPath() + QStringLiteral("/qt_zh_CN.qm")));
        QVERIFY(!qt.isEmpty());
    }
};

TIDEWELL_TEST_MAIN(TestResources)
#include "tst_resources.moc"
