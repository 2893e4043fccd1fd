// Any bytes as an HTTP reply, cut into pieces where the input says: the parser never crashes,
// never completes a body over its bound or a 1xx as the final reply, and the pieces give the
// same outcome as the whole.
//
// Input: [bound selector] [flags: bit 0, the peer closes at the end] [n] [n piece lengths]
// [the reply's bytes]. The pieces take the lengths in turn until the bytes run out.
#include "bridge/httpreplyparser.h"

using dorv::HttpReplyParser;

namespace {
struct Result {
    HttpReplyParser::Outcome outcome;
    int status;
    QByteArray body;
    QString failure;
    bool operator==(const Result &) const = default;
};

Result settle(HttpReplyParser &parser, bool close)
{
    if (close)
        parser.closed();
    const bool complete = parser.outcome() == HttpReplyParser::Outcome::Complete;
    return {parser.outcome(), complete ? parser.status() : -1, parser.body(), parser.failure()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const QByteArrayView input(data, qsizetype(size));
    const qint64 bound = qint64(8) << (quint8(input[0]) % 14); // 8 bytes to 64 KiB
    const bool close = quint8(input[1]) & 1;
    const qsizetype pieceCount = qMin(qsizetype(quint8(input[2]) % 16), input.size() - 3);
    const QByteArrayView lengths = input.sliced(3, pieceCount);
    const QByteArrayView wire = input.sliced(3 + pieceCount);

    HttpReplyParser whole(bound);
    whole.feed(wire);
    const Result expected = settle(whole, close);

    HttpReplyParser pieces(bound);
    // No lengths, or only empty ones: one piece.
    const bool onePiece = lengths.count('\0') == lengths.size();
    qsizetype pos = 0;
    for (qsizetype i = 0; pos < wire.size(); ++i) {
        const qsizetype length = onePiece ? wire.size() : quint8(lengths[i % lengths.size()]);
        pieces.feed(wire.sliced(pos, qMin(length, wire.size() - pos)));
        pos += length;
    }
    if (!(settle(pieces, close) == expected))
        __builtin_trap();

    switch (expected.outcome) {
    case HttpReplyParser::Outcome::Complete:
        if (expected.body.size() > bound || expected.status < 200 || expected.status > 999)
            __builtin_trap();
        if ((expected.status == 204 || expected.status == 304) && !expected.body.isEmpty())
            __builtin_trap();
        break;
    case HttpReplyParser::Outcome::Failed:
        if (expected.failure.isEmpty() || !expected.body.isEmpty())
            __builtin_trap();
        break;
    case HttpReplyParser::Outcome::NeedMore:
        if (close)
            __builtin_trap(); // a close settles every reply
        break;
    }
    // A settled reply stays as it is, whatever follows.
    if (expected.outcome != HttpReplyParser::Outcome::NeedMore) {
        whole.feed(wire);
        whole.closed();
        if (!(settle(whole, false) == expected))
            __builtin_trap();
    }
    return 0;
}
