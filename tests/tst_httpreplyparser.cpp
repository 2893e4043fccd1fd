#include "bridge/httpreplyparser.h"

#include <QTest>

using namespace dorv;
using Outcome = HttpReplyParser::Outcome;

namespace {
constexpr qint64 kMiB = 1 << 20;

// One reply as the bridge might send it, and what the parser makes of it.
struct Row {
    QByteArray wire;
    Outcome outcome;
    int status = -1; // when complete
    QByteArray body;
    QString failure;
    bool peerCloses = false; // after the last byte
    qint64 maxBytes = kMiB;
};

// An outcome as one line, for QCOMPARE.
QString describe(Outcome outcome, int status, const QByteArray &body, const QString &failure)
{
    switch (outcome) {
    case Outcome::Complete:
        return QStringLiteral("complete %1 \"%2\"")
            .arg(QString::number(status), QString::fromLatin1(body));
    case Outcome::Failed:
        return QStringLiteral("failed: ") + failure;
    case Outcome::NeedMore:
        break;
    }
    return QStringLiteral("needs more");
}

// What a parser says once it has been fed `pieces`.
QString outcomeOf(const QList<QByteArrayView> &pieces, const Row &row)
{
    HttpReplyParser parser(row.maxBytes);
    for (const QByteArrayView piece : pieces)
        parser.feed(piece);
    if (row.peerCloses)
        parser.closed();
    return describe(parser.outcome(), parser.status(), parser.body(), parser.failure());
}
} // namespace

class TestHttpReplyParser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replies_data();
    void replies();
};

// Each reply is fed whole, one byte at a time and cut in two at every place: the outcome is
// the same every way.
void TestHttpReplyParser::replies_data()
{
    QTest::addColumn<Row>("row");
    auto complete = [](const char *name, const QByteArray &wire, int status, const QByteArray &body,
                       bool peerCloses = false) {
        QTest::newRow(name) << Row{wire, Outcome::Complete, status, body, {}, peerCloses};
    };
    auto refused = [](const char *name, const QByteArray &wire, const char *failure,
                      bool peerCloses = false, qint64 maxBytes = kMiB) {
        QTest::newRow(name) << Row{
            wire, Outcome::Failed, -1, {}, QString::fromLatin1(failure), peerCloses, maxBytes};
    };
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";

    complete("Content-Length", ok + "Content-Length: 5\r\n\r\nhello", 200, "hello");
    complete("bytes past the length are not read", ok + "Content-Length: 5\r\n\r\nhello, and more",
             200, "hello");
    complete("Content-Length 0", ok + "Content-Length: 0\r\n\r\n", 200, "");
    complete("the same length twice", ok + "Content-Length: 5\r\ncontent-length:5\r\n\r\nhello",
             200, "hello");
    complete("bare LF line ends", "HTTP/1.1 200 OK\nContent-Length: 5\n\nhello", 200, "hello");
    complete("chunked, extensions and trailers",
             chunked + "5;x=y\r\nhello\r\n6 \r\n world\r\n0\r\nTrailer: a\r\n\r\n", 200,
             "hello world");
    complete("chunked in any case, hex in capitals",
             ok + "Transfer-Encoding: Chunked\r\n\r\nA\r\n0123456789\r\n0\r\n\r\n", 200,
             "0123456789");
    complete("chunked among empty list elements",
             ok + "Transfer-Encoding: ,\r\nTransfer-Encoding:  chunked ,\r\n\r\n0\r\n\r\n", 200,
             "");
    complete("until close", "HTTP/1.0 200 OK\r\n\r\nhello", 200, "hello", true);
    complete("100 Continue, then the reply",
             "HTTP/1.1 100 Continue\r\nContent-Length: 9\r\n\r\n" + ok +
                 "Content-Length: 5\r\n\r\nhello",
             200, "hello");
    complete("204 ends at its head", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", 204,
             "");
    complete("no reason phrase", "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", 200, "");
    QTest::newRow("body exactly at the bound") << Row{
        ok + "Content-Length: 5\r\n\r\nhello", Outcome::Complete, 200, "hello", {}, false, 43};

    QTest::newRow("head not yet over") << Row{ok + "Content-Length: 5\r\n", Outcome::NeedMore};
    QTest::newRow("interim reply only") << Row{"HTTP/1.1 100 Continue\r\n\r\n", Outcome::NeedMore};
    refused("conflicting Content-Length",
            ok + "Content-Length: 5\r\nContent-Length: 2\r\n\r\nhello",
            "conflicting Content-Length");
    refused("signed Content-Length", ok + "Content-Length: +5\r\n\r\nhello",
            "invalid Content-Length");
    refused("empty Content-Length", ok + "Content-Length:\r\n\r\n", "invalid Content-Length");
    refused("Content-Length over the bound", ok + "Content-Length: 1048577\r\n\r\n",
            "reply over 1 MiB");
    refused("Content-Length past 64 bits",
            ok + "Content-Length: 99999999999999999999999\r\n\r\nhello", "reply over 1 MiB");
    refused("Content-Length and Transfer-Encoding",
            ok + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
            "both Content-Length and Transfer-Encoding");
    refused("gzip", ok + "Transfer-Encoding: gzip\r\n\r\nhello", "unsupported transfer coding",
            true);
    refused("chunked, then gzip", ok + "Transfer-Encoding: chunked, gzip\r\n\r\n0\r\n\r\n",
            "unsupported transfer coding");
    refused("folded header line", ok + "X-A: 1\r\n Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
            "folded header line");
    refused("header without a colon", ok + "Content-Length 5\r\n\r\nhello",
            "malformed header line");
    refused("stray CR", ok + "X-A: 1\rContent-Length: 5\r\n\r\nhello", "stray CR in the head");
    refused("HTTP/2 status line", "HTTP/2 200 OK\r\n\r\n", "malformed status line");
    refused("empty line before the status", "\r\n" + ok + "\r\n", "malformed status line");
    refused("101 Switching Protocols", "HTTP/1.1 101 Switching Protocols\r\n\r\n",
            "unrequested protocol switch");
    refused("chunk size near 2^63", chunked + "7fffffffffffffff\r\nx\r\n0\r\n\r\n",
            "reply over 1 MiB");
    refused("chunk size past 64 bits", chunked + "10000000000000000\r\n", "reply over 1 MiB");
    refused("chunk larger than what is left", chunked + "100000\r\n", "reply over 1 MiB");
    refused("chunk size not hex", chunked + "zz\r\n", "invalid chunk size");
    refused("chunk size missing", chunked + "\r\nhello\r\n", "invalid chunk size");
    refused("chunk longer than its size", chunked + "3\r\nhello\r\n0\r\n\r\n",
            "chunk longer than its size");
    refused("until close, over the bound", "HTTP/1.1 200 OK\r\n\r\nhello", "reply over 20 bytes",
            true, 20);
    refused("the bound counts the head", ok + "Content-Length: 5\r\n\r\nhello",
            "reply over 42 bytes", false, 42);
    refused("closed mid-body", ok + "Content-Length: 5\r\n\r\nhel",
            "closed before the reply was complete", true);
    refused("closed without a reply", "", "closed without a reply", true);
}

void TestHttpReplyParser::replies()
{
    QFETCH(Row, row);
    const QString expected = describe(row.outcome, row.status, row.body, row.failure);
    const QByteArrayView wire = row.wire;
    QCOMPARE(outcomeOf({wire}, row), expected);
    QList<QByteArrayView> bytes;
    for (qsizetype i = 0; i < wire.size(); ++i)
        bytes.append(wire.sliced(i, 1));
    QCOMPARE(outcomeOf(bytes, row), expected);
    for (qsizetype cut = 0; cut <= wire.size(); ++cut) {
        const QString outcome = outcomeOf({wire.first(cut), wire.sliced(cut)}, row);
        QVERIFY2(outcome == expected,
                 qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(outcome)));
    }
}

QTEST_GUILESS_MAIN(TestHttpReplyParser)
#include "tst_httpreplyparser.moc"
