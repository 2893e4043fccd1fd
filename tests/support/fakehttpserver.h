#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

// A tiny in-process HTTP/1.1 server on an ephemeral loopback port. It records every request
// byte for byte and answers with whatever the test's handler returns, as badly as asked.
namespace dorv::test {

struct HttpRequest {
    QByteArray raw; // request line, headers and body, exactly as received
    QByteArray method;
    QByteArray path;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;
    int connection = 0;    // 1 for the server's first connection, and so on
    qint64 receivedMs = 0; // since the server was made
};

struct HttpResponse {
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    int delayMs = 0;        // wait before answering at all
    int dripIntervalMs = 0; // >0: send the whole answer, head included, one byte per interval
    qint64 bodyRepeat = 0;  // >0: the body is `body` repeated this many times, sent paced
    bool sendContentLength = true; // false: the body ends when the connection closes
    bool noAnswer = false;         // accept and read, never answer
    qint64 resetAfter = -1;        // >=0: cut the connection after this many bytes of the answer
};

class FakeHttpServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    FakeHttpServer();
    QUrl baseUrl() const;
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Shortcut: every request gets this status and body.
    void respond(int status, const QByteArray &body);
    // Stops listening and drops open connections: later connections are refused.
    void close();

    QList<HttpRequest> requests() const { return m_requests; }
    int count(const QByteArray &path) const;
    qint64 bytesWritten() const { return m_bytesWritten; }
    int connections() const { return m_connections; }

private:
    void onConnection();
    void serve(QTcpSocket *socket, const HttpRequest &request);

    QTcpServer m_server;
    QElapsedTimer m_clock;
    Handler m_handler;
    QList<HttpRequest> m_requests;
    qint64 m_bytesWritten = 0;
    int m_connections = 0;
};

} // namespace dorv::test
