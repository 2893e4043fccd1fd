#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

// A tiny in-process HTTP/1.1 server on an ephemeral loopback port. It records every request
// byte for byte and answers with whatever the test's handler returns.
namespace dorv::test {

struct HttpRequest {
    QByteArray raw; // request line, headers and body, exactly as received
    QByteArray method;
    QByteArray path;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;
};

struct HttpResponse {
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    int delayMs = 0;        // wait before answering at all
    int dripIntervalMs = 0; // >0: send the whole answer one byte per interval
    qint64 bodyRepeat = 0;  // >0: the body is `body` repeated this many times, sent paced
    bool sendContentLength = true;
    bool noAnswer = false;  // accept and read, never answer
    qint64 resetAfter = -1; // >=0: cut the connection after this many body bytes
};

class FakeHttpServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    explicit FakeHttpServer(QObject *parent = nullptr);
    QUrl baseUrl() const;
    quint16 port() const { return m_server.serverPort(); }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Shortcut: every request gets this status and body.
    void respond(int status, const QByteArray &body);
    // Stops listening and drops open connections: later connections are refused.
    void close();

    QList<HttpRequest> requests() const { return m_requests; }
    int count(const QByteArray &path) const;
    qint64 bytesWritten() const { return m_bytesWritten; }
    int connections() const { return m_connections; }

Q_SIGNALS:
    void requestReceived();

private:
    void onConnection();
    void serve(QTcpSocket *socket, const HttpRequest &request);

    QTcpServer m_server;
    Handler m_handler;
    QList<HttpRequest> m_requests;
    qint64 m_bytesWritten = 0;
    int m_connections = 0;
};

} // namespace dorv::test
