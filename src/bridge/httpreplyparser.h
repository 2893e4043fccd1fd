#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Reads one HTTP/1.1 reply from the bytes of a connection as they arrive, with no socket of its
// own: interim 1xx replies are skipped, the body is decoded as it comes (Content-Length,
// chunked, or until the peer closes), and at most `maxReplyBytes` are read, head included.
namespace dorv {

class HttpReplyParser {
public:
    enum class Outcome { NeedMore, Complete, Failed };

    explicit HttpReplyParser(qint64 maxReplyBytes);

    // The next bytes of the connection, in any pieces. Once the outcome is settled, further
    // bytes change nothing.
    Outcome feed(QByteArrayView bytes);
    // The peer closed the connection: a body read until the close is complete, anything else
    // unfinished has failed.
    Outcome closed();

    Outcome outcome() const { return m_outcome; }
    int status() const { return m_status; } // of the final reply, once complete
    const QByteArray &body() const { return m_body; }
    const QString &failure() const { return m_failure; } // a short text, once failed

private:
    enum class Phase { Head, LengthBody, ChunkSize, ChunkData, ChunkEnd, Trailers, UntilClose };

    void consume(QByteArrayView bytes);
    void onLine();
    void onHeadLine();
    void onHeadEnd();
    void onChunkSizeLine();
    void complete();
    void fail(const QString &reason);
    QString overBound() const;

    const qint64 m_maxReplyBytes;
    qint64 m_consumed = 0;
    Outcome m_outcome = Outcome::NeedMore;
    Phase m_phase = Phase::Head;
    QByteArray m_line; // an unfinished line, without its end
    qint64 m_left = 0; // bytes of body or chunk still to come
    int m_status = -1;
    qint64 m_contentLength = -1;
    QByteArray m_codings; // Transfer-Encoding values, comma-separated
    bool m_sawTransferEncoding = false;
    QByteArray m_body;
    QString m_failure;
};

} // namespace dorv
