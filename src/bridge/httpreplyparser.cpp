#include "bridge/httpreplyparser.h"

#include <QList>

namespace dorv {

namespace {
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

HttpReplyParser::HttpReplyParser(qint64 maxReplyBytes)
    // A chunk size is read digit by digit while it stays within the bound: a bound far below
    // the 64-bit range keeps that arithmetic exact.
    : m_maxReplyBytes(qBound(qint64(0), maxReplyBytes, qint64(1) << 40))
{
}

HttpReplyParser::Outcome HttpReplyParser::feed(QByteArrayView bytes)
{
    if (m_outcome != Outcome::NeedMore)
        return m_outcome;
    // Whatever the pieces, the reply is read up to the same byte and no further.
    const qint64 room = m_maxReplyBytes - m_consumed;
    const bool over = bytes.size() > room;
    consume(over ? bytes.first(room) : bytes);
    if (m_outcome == Outcome::NeedMore && over)
        fail(overBound());
    return m_outcome;
}

HttpReplyParser::Outcome HttpReplyParser::closed()
{
    if (m_outcome != Outcome::NeedMore)
        return m_outcome;
    if (m_phase == Phase::UntilClose)
        complete();
    else
        fail(m_consumed == 0 ? QStringLiteral("closed without a reply")
                             : QStringLiteral("closed before the reply was complete"));
    return m_outcome;
}

void HttpReplyParser::consume(QByteArrayView bytes)
{
    qsizetype pos = 0;
    while (pos < bytes.size() && m_outcome == Outcome::NeedMore) {
        const QByteArrayView rest = bytes.sliced(pos);
        qsizetype used = rest.size();
        bool lineDone = false;
        switch (m_phase) {
        case Phase::LengthBody:
        case Phase::ChunkData:
            used = qsizetype(qMin(m_left, qint64(rest.size())));
            m_body.append(rest.first(used));
            m_left -= used;
            break;
        case Phase::UntilClose:
            m_body.append(rest);
            break;
        default: {
            // A line ends in LF or CRLF.
            const qsizetype lf = rest.indexOf('\n');
            used = lf < 0 ? rest.size() : lf + 1;
            m_line.append(rest.first(lf < 0 ? used : lf));
            lineDone = lf >= 0;
        }
        }
        pos += used;
        m_consumed += used;
        if (lineDone) {
            if (m_line.endsWith('\r'))
                m_line.chop(1);
            onLine();
            m_line.clear();
        } else if (m_left == 0 && m_phase == Phase::LengthBody) {
            complete();
        } else if (m_left == 0 && m_phase == Phase::ChunkData) {
            m_phase = Phase::ChunkEnd;
        }
    }
}

void HttpReplyParser::onLine()
{
    switch (m_phase) {
    case Phase::Head:
        return onHeadLine();
    case Phase::ChunkSize:
        return onChunkSizeLine();
    case Phase::ChunkEnd:
        if (!m_line.isEmpty())
            return fail(QStringLiteral("chunk longer than its size"));
        m_phase = Phase::ChunkSize;
        return;
    case Phase::Trailers:
        if (m_line.isEmpty())
            complete(); // trailers are of no interest
        return;
    default:
        return;
    }
}

void HttpReplyParser::onHeadLine()
{
    if (m_line.contains('\r'))
        return fail(QStringLiteral("stray CR in the head"));
    if (m_status < 0) {
        // "HTTP/1.x NNN[ reason]"
        const QByteArray &l = m_line;
        const bool wellFormed = l.size() >= 12 && l.startsWith("HTTP/1.") && isDigit(l[7]) &&
                                l[8] == ' ' && isDigit(l[9]) && isDigit(l[10]) && isDigit(l[11]) &&
                                (l.size() == 12 || l[12] == ' ') && l[9] != '0';
        if (!wellFormed)
            return fail(QStringLiteral("malformed status line"));
        m_status = (l[9] - '0') * 100 + (l[10] - '0') * 10 + (l[11] - '0');
        // Nothing here asks for another protocol.
        if (m_status == 101)
            return fail(QStringLiteral("unrequested protocol switch"));
        return;
    }
    if (m_line.isEmpty())
        return onHeadEnd();
    // Obsolete line folding hides a header from some readers and not from others.
    if (isBlank(m_line.front()))
        return fail(QStringLiteral("folded header line"));
    const qsizetype colon = m_line.indexOf(':');
    const QByteArrayView name = QByteArrayView(m_line).first(qMax(colon, qsizetype(0)));
    if (colon <= 0 || name.contains(' ') || name.contains('\t'))
        return fail(QStringLiteral("malformed header line"));
    if (m_status < 200)
        return; // an interim reply's headers say nothing about the final one
    const QByteArray value = m_line.mid(colon + 1).trimmed();
    if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
        qint64 length = 0;
        for (const char c : value) {
            if (!isDigit(c))
                return fail(QStringLiteral("invalid Content-Length"));
            length = length > m_maxReplyBytes ? length : length * 10 + (c - '0');
        }
        if (value.isEmpty())
            return fail(QStringLiteral("invalid Content-Length"));
        if (m_contentLength >= 0 && m_contentLength != length)
            return fail(QStringLiteral("conflicting Content-Length"));
        m_contentLength = length;
    } else if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
        m_codings += (m_sawTransferEncoding ? QByteArray(",") : QByteArray()) + value;
        m_sawTransferEncoding = true;
    }
}

void HttpReplyParser::onHeadEnd()
{
    if (m_status < 200) {
        // An interim reply (100 Continue, 103 Early Hints): the final one follows.
        m_status = -1;
        return;
    }
    if (m_status == 204 || m_status == 304)
        return complete(); // no body, whatever the headers say
    if (m_sawTransferEncoding) {
        if (m_contentLength >= 0)
            return fail(QStringLiteral("both Content-Length and Transfer-Encoding"));
        QList<QByteArray> codings;
        for (const QByteArray &coding : m_codings.split(',')) {
            if (!coding.trimmed().isEmpty())
                codings.append(coding.trimmed().toLower());
        }
        // Only chunked can be decoded here, and it must be the last coding.
        if (codings != QList<QByteArray>{"chunked"})
            return fail(QStringLiteral("unsupported transfer coding"));
        m_phase = Phase::ChunkSize;
        return;
    }
    if (m_contentLength < 0) {
        m_phase = Phase::UntilClose;
        return;
    }
    if (m_contentLength > m_maxReplyBytes - m_consumed)
        return fail(overBound());
    m_left = m_contentLength;
    m_phase = Phase::LengthBody;
    if (m_left == 0)
        complete();
}

void HttpReplyParser::onChunkSizeLine()
{
    // The size is compared with what the bound leaves, digit by digit: a hostile size is
    // refused before it can grow past any integer.
    const qint64 room = m_maxReplyBytes - m_consumed;
    qint64 size = 0;
    qsizetype pos = 0;
    for (; pos < m_line.size() && hexValue(m_line[pos]) >= 0; ++pos) {
        size = size * 16 + hexValue(m_line[pos]);
        if (size > room)
            return fail(overBound());
    }
    while (pos < m_line.size() && isBlank(m_line[pos]))
        ++pos;
    if (pos == 0 || (pos < m_line.size() && m_line[pos] != ';'))
        return fail(QStringLiteral("invalid chunk size"));
    m_left = size;
    m_phase = size == 0 ? Phase::Trailers : Phase::ChunkData;
}

void HttpReplyParser::complete()
{
    m_outcome = Outcome::Complete;
}

void HttpReplyParser::fail(const QString &reason)
{
    m_outcome = Outcome::Failed;
    m_failure = reason;
    m_body.clear();
}

QString HttpReplyParser::overBound() const
{
    constexpr qint64 kKiB = 1024;
    if (m_maxReplyBytes % (kKiB * kKiB) == 0)
        return QStringLiteral("reply over %1 MiB").arg(m_maxReplyBytes / (kKiB * kKiB));
    if (m_maxReplyBytes % kKiB == 0)
        return QStringLiteral("reply over %1 KiB").arg(m_maxReplyBytes / kKiB);
    return QStringLiteral("reply over %1 bytes").arg(m_maxReplyBytes);
}

} // namespace dorv
