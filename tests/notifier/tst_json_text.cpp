#include "test_support.h"

#include "core/json_text.h"

using namespace tidewell;

namespace {

Json::Value parsed(const char* text) {
    Json::Value v;
    if (!json::parse(text, v))
        qFatal("fixture does not parse: %s", text);
    return v;
}

} // namespace

class TestJsonText : public QObject {
    Q_OBJECT

private slots:
    void text_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::newRow("string") << "s" << true << "x y";
        QTest::newRow("utf-8 string") << "zh" << true << "优惠券";
        QTest::newRow("absent") << "missing" << true << "";
        QTest::newRow("null") << "nul" << true << "";
        QTest::newRow("true") << "t" << true << "true";
        QTest::newRow("false") << "f" << true << "false";
        QTest::newRow("integer") << "i" << false << "";
        QTest::newRow("zero") << "zero" << false << "";
        QTest::newRow("real") << "r" << false << "";
        QTest::newRow("array") << "a" << false << "";
        QTest::newRow("object") << "o" << false << "";
    }
    void text() {
        QFETCH(QString, member);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        const Json::Value reply = parsed(R"({"s":"x y","zh":"优惠券","nul":null,"t":true,
            "f":false,"i":12,"zero":0,"r":1.5,"a":["x"],"o":{"x":1}})");
        std::string out = "untouched";
        QCOMPARE(json::memberText(reply, member.toUtf8().constData(), out), ok);
        QCOMPARE(json::toQString(out), ok ? text : QStringLiteral("untouched"));
    }

    void textNeedsAnObject() {
        std::string out;
        QVERIFY(json::memberText(Json::Value(), "x", out)); // null reads as an empty object
        QVERIFY(out.empty());
        QVERIFY(!json::memberText(parsed("[1]"), "x", out));
        QVERIFY(!json::memberText(parsed("\"s\""), "x", out));
        QVERIFY(!json::memberText(parsed("3"), "x", out));
    }

    void integer_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("number");
        QTest::newRow("one") << QByteArray("1") << true << 1;
        QTest::newRow("negative") << QByteArray("-7") << true << -7;
        QTest::newRow("fraction cut") << QByteArray("1.9") << true << 1;
        QTest::newRow("negative fraction cut") << QByteArray("-1.9") << true << -1;
        QTest::newRow("int max") << QByteArray("2147483647") << true << 2147483647;
        QTest::newRow("above int") << QByteArray("2147483648") << false << 0;
        QTest::newRow("huge real") << QByteArray("1e40") << false << 0;
        QTest::newRow("true") << QByteArray("true") << true << 1;
        QTest::newRow("false") << QByteArray("false") << true << 0;
        QTest::newRow("null") << QByteArray("null") << true << 0;
        QTest::newRow("string one") << QByteArray("\"1\"") << false << 0;
        QTest::newRow("array") << QByteArray("[1]") << false << 0;
        QTest::newRow("object") << QByteArray("{}") << false << 0;
    }
    void integer() {
        QFETCH(QByteArray, value);
        QFETCH(bool, ok);
        QFETCH(int, number);
        const Json::Value reply = parsed(("{\"ret\":" + value + "}").constData());
        int out = -99;
        QCOMPARE(json::readInt(reply["ret"], out), ok);
        QCOMPARE(out, ok ? number : -99);
    }

    void objectMember() {
        Json::Value out;
        QVERIFY(json::memberObject(parsed(R"({"body":{"id":"1"}})"), "body", out));
        QCOMPARE(out["id"].asString(), std::string("1"));
        QVERIFY(json::memberObject(parsed(R"({"body":null})"), "body", out));
        QVERIFY(out.isObject() && out.empty());
        QVERIFY(json::memberObject(parsed(R"({})"), "body", out));
        QVERIFY(out.isObject() && out.empty());
        QVERIFY(!json::memberObject(parsed(R"({"body":"{}"})"), "body", out));
        QVERIFY(!json::memberObject(parsed(R"({"body":[]})"), "body", out));
        QVERIFY(!json::memberObject(parsed(R"([{"body":{}}])"), "body", out));
    }

    void parsing() {
        Json::Value v;
        QVERIFY(json::parse("/* c */ {\"a\": 1} // end", v));
        QCOMPARE(v["a"].asInt(), 1);
        QVERIFY(!json::parse("{\"a\":", v));
        QVERIFY(v.isNull());
        QVERIFY(!json::parse("", v));
        // Nesting far beyond any real reply is refused instead of exhausting the stack.
        QVERIFY(!json::parse(std::string(100000, '['), v));
        QVERIFY(v.isNull());
    }
};

TIDEWELL_TEST_MAIN(TestJsonText)
#include "tst_json_text.moc"
