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
    void decodedValues();
};

void TestStatusResponse::stateText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // -1: no value
    QTest::newRow("connected") << "connected" << int(BridgeState::Connected);
    QTest::newRow("connecting") << "connecting" << int(BridgeState::Connecting);
    QTest::newRow("offline") << "offline" << int(BridgeState::Offline);
    QTest::newRow("capitalised") << "Connected" << -1;
    QTest::newRow("blank around") << " offline" << -1;
    QTest::newRow("empty") << "" << -1;
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
    const QByteArray full =
        R"({"ok":true,"chatwire":"connected","active_project":"api",)"
        R"("projects":["api","web"],"marvek_busy":false,"context_pct":41.5,"queued":0})";
    QTest::newRow("all seven") << full << true;
    QTest::newRow("ok only") << QByteArray(R"({"ok": true})") << true;
    QTest::newRow("ok false") << QByteArray(R"({"ok": false, "chatwire": "connected"})") << true;
    QTest::newRow("nulls are absent")
        << QByteArray(R"({"ok":true,"chatwire":null,"active_project":null,"projects":null,)"
                      R"("marvek_busy":null,"context_pct":null,"queued":null})")
        << true;
    QTest::newRow("unknown member") << QByteArray(R"({"ok":true,"extra":{"a":[1]}})") << true;
    QTest::newRow("integer context") << QByteArray(R"({"ok":true,"context_pct":40})") << true;
    QTest::newRow("queued at int64 max")
        << QByteArray(R"({"ok":true,"queued":9223372036854775807})") << true;
    QTest::newRow("queued negative") << QByteArray(R"({"ok":true,"queued":-2})") << true;

    QTest::newRow("no ok") << QByteArray(R"({"chatwire":"connected"})") << false;
    QTest::newRow("ok null") << QByteArray(R"({"ok":null})") << false;
    QTest::newRow("ok as number") << QByteArray(R"({"ok":1})") << false;
    QTest::newRow("ok as string") << QByteArray(R"({"ok":"true"})") << false;
    QTest::newRow("Ok capitalised") << QByteArray(R"({"Ok":true})") << false;
    QTest::newRow("queued string") << QByteArray(R"({"ok":true,"queued":"3"})") << false;
    QTest::newRow("queued fraction") << QByteArray(R"({"ok":true,"queued":1.5})") << false;
    QTest::newRow("queued past int64")
        << QByteArray(R"({"ok":true,"queued":9223372036854775808})") << false;
    QTest::newRow("busy as number") << QByteArray(R"({"ok":true,"marvek_busy":1})") << false;
    QTest::newRow("context as string") << QByteArray(R"({"ok":true,"context_pct":"40"})") << false;
    QTest::newRow("chatwire as bool") << QByteArray(R"({"ok":true,"chatwire":true})") << false;
    QTest::newRow("project as number") << QByteArray(R"({"ok":true,"active_project":3})") << false;
    QTest::newRow("projects not array") << QByteArray(R"({"ok":true,"projects":"api"})") << false;
    QTest::newRow("projects with number")
        << QByteArray(R"({"ok":true,"projects":["a",1]})") << false;
    QTest::newRow("projects with null")
        << QByteArray(R"({"ok":true,"projects":["a",null]})") << false;
    QTest::newRow("array") << QByteArray(R"([{"ok":true}])") << false;
    QTest::newRow("string") << QByteArray(R"("ok")") << false;
    QTest::newRow("number") << QByteArray("200") << false;
    QTest::newRow("null") << QByteArray("null") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("whitespace") << QByteArray(" \n") << false;
    QTest::newRow("trailing garbage") << QByteArray(R"({"ok":true} x)") << false;
    QTest::newRow("two objects") << QByteArray(R"({"ok":true}{"ok":true})") << false;
    QTest::newRow("truncated") << QByteArray(R"({"ok":tr)") << false;
    QTest::newRow("invalid utf8") << QByteArray("{\"ok\":true,\"chatwire\":\"\xff\"}") << false;
}

void TestStatusResponse::decode()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, accepted);
    QCOMPARE(StatusResponse::decode(body).has_value(), accepted);
}

void TestStatusResponse::decodedValues()
{
    auto r = StatusResponse::decode(
        R"({"ok":false,"chatwire":"Connected","active_project":"Café api","projects":["x","y"],)"
        R"("marvek_busy":true,"context_pct":40,"queued":3})");
    QVERIFY(r);
    QCOMPARE(r->ok, false);
    QCOMPARE(r->chatwire, QStringLiteral("Connected"));
    QCOMPARE(r->activeProject, QStringLiteral("Café api"));
    QCOMPARE(r->projects, QStringList({"x", "y"}));
    QCOMPARE(r->marvekBusy, true);
    QCOMPARE(r->contextPct, 40.0);
    QCOMPARE(r->queued, qint64(3));

    r = StatusResponse::decode(R"({"ok":true,"context_pct":null})");
    QVERIFY(r);
    QVERIFY(!r->contextPct && !r->queued && !r->chatwire && !r->projects);
}

QTEST_GUILESS_MAIN(TestStatusResponse)
#include "tst_statusresponse.moc"
