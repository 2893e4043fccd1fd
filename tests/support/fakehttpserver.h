#pragma once

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

// A tiny in-process HTTP/1.1 server on an ephemeral loopback port. It records every request
// byte for byte and answers with whatever the test's handler returns, as badly as asked.
namespace dorv::test {

struct HttpRequest {
    QByteArray raw; // request line, headers and body, exactly as received
    QByteArray path;
    QByteArray body;
    qint64 receivedMs = 0; // since the server was made
};

struct HttpResponse {
    int status = 200;
    QByteArray body;
    int delayMs = 0;        // wait before answering at all
    int dripIntervalMs = 0; // >0: send the whole answer, head included, one byte per interval
    qint64 bodyRepeat = 0;  // >0: the body is `body` repeated this many times
    bool sendContentLength = true; // false: the body ends when the connection closes
    qint64 resetAfter = -1;        // >=0: cut the connection after this many bytes of the answer
    // Non-empty: the whole answer, head included, sent as it is instead of the fields above
    // (timing and resetAfter still apply); the connection then stays open.
    QByteArray raw;
};

class FakeHttpServer : public QObject {
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    FakeHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    const QByteArray data = socket->peek(socket->bytesAvailable());
                    const qsizetype end = data.indexOf("\r\n\r\n");
                    qsizetype length = 0;
                    for (const QByteArray &line : data.left(end).split('\n'))
                        if (line.toLower().startsWith("content-length:"))
                            length = line.mid(15).trimmed().toLongLong();
                    if (end < 0 || data.size() < end + 4 + length)
                        return;
                    socket->readAll();
                    m_requests.append({data, data.left(data.indexOf('\r')).split(' ').value(1),
                                       data.mid(end + 4), m_clock.elapsed()});
                    serve(socket, m_handler(m_requests.last()));
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
        m_clock.start();
    }
    QUrl baseUrl() const
    {
        return QUrl("http://127.0.0.1:" + QString::number(m_server.serverPort()));
    }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Shortcut: every request gets this status and body.
    void respond(int status, const QByteArray &body)
    {
        m_handler = [status, body](const HttpRequest &) { return HttpResponse{status, body}; };
    }
    // Stops listening and drops open connections: later connections are refused.
    void close()
    {
        m_server.close();
        for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
            socket->abort();
    }

    QList<HttpRequest> requests() const { return m_requests; }
    int count(const QByteArray &path) const
    {
        return int(std::count_if(m_requests.begin(), m_requests.end(),
                                 [&](const HttpRequest &r) { return r.path == path; }));
    }
    qint64 bytesWritten() const { return m_bytesWritten; }

private:
    void serve(QTcpSocket *socket, const HttpResponse &r)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\n";
        const qint64 bodySize = r.body.size() * qMax(r.bodyRepeat, qint64(1));
        head += r.sendContentLength ? "Content-Length: " + QByteArray::number(bodySize) + "\r\n"
                                    : QByteArray("Connection: close\r\n");
        auto left = std::make_shared<QByteArray>(
            !r.raw.isEmpty() ? r.raw
                             : head + "Content-Type: application/json\r\n\r\n" +
                                   (r.bodyRepeat > 0 ? QByteArray() : r.body));
        if (r.resetAfter >= 0)
            left->truncate(r.resetAfter);
        auto repeats = std::make_shared<qint64>(r.bodyRepeat);
        // One piece a tick, and only once the last one has left: bytesWritten() then counts
        // what the client really took.
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [=, this] {
            if (socket->bytesToWrite() > 0)
                return;
            if (left->isEmpty() && *repeats > 0) {
                --*repeats;
                *left = r.body;
            }
            if (left->isEmpty()) {
                timer->stop();
                if (r.resetAfter >= 0)
                    socket->abort();
                else if (!r.sendContentLength && r.raw.isEmpty())
                    socket->disconnectFromHost();
                return;
            }
            const qsizetype piece = r.dripIntervalMs > 0 ? 1 : left->size();
            m_bytesWritten += socket->write(left->left(piece));
            left->remove(0, piece);
        });
        QTimer::singleShot(r.delayMs, timer, [timer, r] { timer->start(r.dripIntervalMs); });
    }

    QTcpServer m_server;
    QElapsedTimer m_clock;
    Handler m_handler = [](const HttpRequest &) { return HttpResponse{200, R"({"ok":true})"}; };
    QList<HttpRequest> m_requests;
    qint64 m_bytesWritten = 0;
};

} // namespace dorv::test
