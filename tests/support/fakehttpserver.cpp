#include "fakehttpserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace dorv::test {

FakeHttpServer::FakeHttpServer()
{
    respond(200, R"({"ok":true})");
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::onConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
    m_clock.start();
}

QUrl FakeHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void FakeHttpServer::respond(int status, const QByteArray &body)
{
    m_handler = [status, body](const HttpRequest &) { return HttpResponse{status, body}; };
}

void FakeHttpServer::close()
{
    m_server.close();
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
        socket->abort();
}

int FakeHttpServer::count(const QByteArray &path) const
{
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [&](const HttpRequest &r) { return r.path == path; }));
}

void FakeHttpServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const int connection = ++m_connections;
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, connection] {
            buffer->append(socket->readAll());
            // Serve every complete request in the buffer (keep-alive connections reuse it).
            for (qsizetype end; (end = buffer->indexOf("\r\n\r\n")) >= 0;) {
                HttpRequest request{{}, {}, {}, {}, {}, connection, m_clock.elapsed()};
                const QList<QByteArray> lines = buffer->left(end).split('\n');
                const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
                request.method = first.value(0);
                request.path = first.value(1);
                for (const QByteArray &line : lines.mid(1)) {
                    if (const qsizetype colon = line.indexOf(':'); colon > 0)
                        request.headers.insert(line.left(colon).trimmed().toLower(),
                                               line.mid(colon + 1).trimmed());
                }
                const qsizetype length = request.headers.value("content-length", "0").toLongLong();
                if (buffer->size() < end + 4 + length)
                    return;
                request.body = buffer->mid(end + 4, length);
                request.raw = buffer->left(end + 4 + length);
                buffer->remove(0, end + 4 + length);
                m_requests.append(request);
                serve(socket, request);
            }
        });
    }
}

void FakeHttpServer::serve(QTcpSocket *socket, const HttpRequest &request)
{
    const HttpResponse r = m_handler(request);
    if (r.noAnswer)
        return;
    const qint64 bodySize = r.body.size() * qMax(r.bodyRepeat, qint64(1));
    QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\n";
    for (const auto &[name, value] : r.headers)
        head += name + ": " + value + "\r\n";
    head += r.sendContentLength ? "Content-Length: " + QByteArray::number(bodySize) + "\r\n"
                                : QByteArray("Connection: close\r\n");
    head += "Content-Type: application/json\r\n\r\n";
    const QByteArray answer = head + (r.bodyRepeat > 0 ? QByteArray() : r.body);

    QPointer<QTcpSocket> guard(socket);
    auto write = [this, guard](const QByteArray &bytes) { m_bytesWritten += guard->write(bytes); };
    auto finish = [guard, r] {
        if (guard && !r.sendContentLength)
            guard->disconnectFromHost();
    };
    auto send = [=] {
        if (!guard)
            return;
        if (r.resetAfter >= 0) {
            write(answer.left(r.resetAfter));
            guard->flush();
            guard->abort();
        } else if (r.dripIntervalMs > 0) {
            auto left = std::make_shared<QByteArray>(answer);
            auto *timer = new QTimer(guard);
            connect(timer, &QTimer::timeout, guard, [=] {
                if (left->isEmpty())
                    return timer->stop(), finish();
                write(left->left(1));
                left->remove(0, 1);
            });
            timer->start(r.dripIntervalMs);
        } else if (r.bodyRepeat <= 0) {
            write(answer);
            finish();
        } else {
            // Paced: write the next chunk only once the previous one has left, so the count of
            // written bytes shows how much the client really took.
            write(answer);
            auto left = std::make_shared<qint64>(r.bodyRepeat);
            auto pump = [=] {
                if (!guard || guard->bytesToWrite() > 0)
                    return;
                if (*left == 0)
                    return finish();
                --*left;
                write(r.body);
            };
            connect(guard, &QTcpSocket::bytesWritten, guard, pump);
            pump();
        }
    };
    if (r.delayMs > 0)
        QTimer::singleShot(r.delayMs, socket, send);
    else
        send();
}

} // namespace dorv::test
