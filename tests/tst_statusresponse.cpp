#include "bridgestate.h"
#include "statusresponse.h"

#include <QTest>

using namespace dorv;

class TestStatusResponse : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stateText_data();
    void stateText();
    void decode_data();
    void decode();
};

void TestStatusResponse::stateText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // -1: no value
    auto row = [](const char *name, const QString &text, int expected) {
        QTest::newRow(name) << text << expected;
    };
    row("connected", "connected", int(BridgeState::Connected));
    row("connecting", "connecting", int(BridgeState::Connecting));
    row("offline", "offline", int(BridgeState::Offline));
    row("capitalised", "Connected", -1);
    row("blank around", " offline", -1);
    row("empty", "", -1);
}

void TestStatusResponse::stateText()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const auto state = bridgeStateFromText(text);
    QCOMPARE(state.has_value(), expected >= 0);
    if (state) {
        QCOMPARE(int(*state), expected);
        QCOMPARE(toText(*state), text);
    }
}

void TestStatusResponse::decode_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("accepted");
    auto row = [](const char *name, const QByteArray &body, bool accepted) {
        QTest::newRow(name) << body << accepted;
    };
    const QByteArray full =
        R"({"ok":true,"chatwire":"connected","active_project":"api",)"
        R"("projects":["api","web"],"marvek_busy":false,"context_pct":41.5,"queued":0})";
    row("all seven", full, true);
    row("ok only", QByteArray(R"({"ok": true})"), true);
    row("ok false", QByteArray(R"({"ok": false, "chatwire": "connected"})"), true);
    row("nulls are absent",
        QByteArray(R"({"ok":true,"chatwire":null,"active_project":null,"projects":null,)"
                   R"("marvek_busy":null,"context_pct":null,"queued":null})"),
        true);
    row("unknown member", QByteArray(R"({"ok":true,"extra":{"a":[1]}})"), true);
    row("integer context", QByteArray(R"({"ok":true,"context_pct":40})"), true);
    row("queued at int64 max", QByteArray(R"({"ok":true,"queued":9223372036854775807})"), true);
    row("queued negative", QByteArray(R"({"ok":true,"queued":-2})"), true);
    row("no ok", QByteArray(R"({"chatwire":"connected"})"), false);
    row("ok null", QByteArray(R"({"ok":null})"), false);
    row("ok as number", QByteArray(R"({"ok":1})"), false);
    row("ok as string", QByteArray(R"({"ok":"true"})"), false);
    row("Ok capitalised", QByteArray(R"({"Ok":true})"), false);
    row("queued string", QByteArray(R"({"ok":true,"queued":"3"})"), false);
    row("queued fraction", QByteArray(R"({"ok":true,"queued":1.5})"), false);
    row("queued past int64", QByteArray(R"({"ok":true,"queued":9223372036854775808})"), false);
    row("busy as number", QByteArray(R"({"ok":true,"marvek_busy":1})"), false);
    row("context as string", QByteArray(R"({"ok":true,"context_pct":"40"})"), false);
    row("chatwire as bool", QByteArray(R"({"ok":true,"chatwire":true})"), false);
    row("project as number", QByteArray(R"({"ok":true,"active_project":3})"), false);
    row("projects not array", QByteArray(R"({"ok":true,"projects":"api"})"), false);
    row("projects with number", QByteArray(R"({"ok":true,"projects":["a",1]})"), false);
    row("projects with null", QByteArray(R"({"ok":true,"projects":["a",null]})"), false);
    row("array", QByteArray(R"([{"ok":true}])"), false);
    row("string", QByteArray(R"("ok")"), false);
    row("number", QByteArray("200"), false);
    row("null", QByteArray("null"), false);
    row("empty", QByteArray(), false);
    row("whitespace", QByteArray(" \n"), false);
    row("trailing garbage", QByteArray(R"({"ok":true} x)"), false);
    row("two objects", QByteArray(R"({"ok":true}{"ok":true})"), false);
    row("truncated", QByteArray(R"({"ok":tr)"), false);
    row("invalid utf8", QByteArray("{\"ok\":true,\"chatwire\":\"\xff\"}"), false);
}

void TestStatusResponse::decode()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, accepted);
    QCOMPARE(StatusResponse::decode(body).has_value(), accepted);
}

QTEST_GUILESS_MAIN(TestStatusResponse)
#include "tst_statusresponse.moc"
