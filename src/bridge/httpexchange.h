#pragma once

#include "bridge/httpreplyparser.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// One HTTP/1.1 request on a connection of its own ("Connection: close"), written exactly once
// and never retried, redirected or sent through a proxy. It ends when the reply is complete,
// when the peer is silent for the idle time (every byte received or sent counts as activity,
// header bytes included), when the whole exchange outlives its lifetime, or when the reply
// grows past its byte bound. HttpReplyParser says what a reply is. finished() is emitted exactly
// once, then the object deletes itself.
namespace dorv {

class HttpExchange : public QObject {
    Q_OBJECT
public:
    struct Limits {
        int idleTimeoutMs;
        int lifetimeMs; // 0: none
        qint64 maxReplyBytes;
    };

    // `headers`: extra header lines, each ended by CRLF.
    static HttpExchange *start(const QUrl &url, const QByteArray &method, const QByteArray &headers,
                               const QByteArray &body, const Limits &limits, QObject *parent);
    ~HttpExchange() override;

Q_SIGNALS:
    // statusCode is -1 when no complete reply arrived; `failure` then says why, in a few words.
    void finished(int statusCode, const QByteArray &body, const QString &failure);

private:
    HttpExchange(const Limits &limits, QObject *parent);
    void onReadyRead();
    void onClosed();
    void settle(HttpReplyParser::Outcome outcome);
    void finish(const QString &failure = {});

    const Limits m_limits;
    QTcpSocket m_socket;
    QTimer m_idle;
    QTimer m_lifetime;
    HttpReplyParser m_parser;
    bool m_done = false;
};

} // namespace dorv
