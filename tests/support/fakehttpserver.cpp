#include "fakehttpserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace dorv::test {

FakeHttpServer::FakeHttpServer(QObject *parent) : QObject(parent)
{
    respond(200, R"({"ok":true})");
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::onConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl FakeHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

void FakeHttpServer::respond(int status, const QByteArray &body)
{
    m_handler = [status, body](const HttpRequest &) {
        HttpResponse r;
        r.status = status;
        r.body = body;
        return r;
    };
}

void FakeHttpServer::close()
{
    m_server.close();
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
        socket->abort();
}

int FakeHttpServer::count(const QByteArray &path) const
{
    int n = 0;
    for (const HttpRequest &r : m_requests)
        n += r.path == path;
    return n;
}

void FakeHttpServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connections;
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            // Serve every complete request in the buffer (keep-alive connections reuse it).
            for (;;) {
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                HttpRequest request;
                const QList<QByteArray> lines = buffer->left(end).split('\n');
                const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
                request.method = first.value(0);
                request.path = first.value(1);
                for (qsizetype i = 1; i < lines.size(); ++i) {
                    const qsizetype colon = lines[i].indexOf(':');
                    if (colon > 0)
                        request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                               lines[i].mid(colon + 1).trimmed());
                }
                const qsizetype length = request.headers.value("content-length", "0").toLongLong();
                if (buffer->size() < end + 4 + length)
                    return;
                request.body = buffer->mid(end + 4, length);
                request.raw = buffer->left(end + 4 + length);
                buffer->remove(0, end + 4 + length);
                m_requests.append(request);
                Q_EMIT requestReceived();
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
    const qint64 bodySize = r.bodyRepeat > 0 ? r.body.size() * r.bodyRepeat : r.body.size();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\n";
    for (const auto &[name, value] : r.headers)
        head += name + ": " + value + "\r\n";
    if (r.sendContentLength)
        head += "Content-Length: " + QByteArray::number(bodySize) + "\r\n";
    else
        head += "Connection: close\r\n";
    head += "Content-Type: application/json\r\n\r\n";

    QPointer<QTcpSocket> guard(socket);
    auto finish = [this, guard, r] {
        if (guard && !r.sendContentLength)
            guard->disconnectFromHost();
    };
    auto send = [this, guard, head, r, bodySize, finish] {
        if (!guard)
            return;
        if (r.dripIntervalMs > 0) {
            auto all = std::make_shared<QByteArray>(head + r.body);
            auto timer = new QTimer(guard);
            connect(timer, &QTimer::timeout, guard, [this, guard, all, timer, finish] {
                if (all->isEmpty()) {
                    timer->stop();
                    finish();
                    return;
                }
                m_bytesWritten += guard->write(all->left(1));
                all->remove(0, 1);
            });
            timer->start(r.dripIntervalMs);
            return;
        }
        m_bytesWritten += guard->write(head);
        if (r.resetAfter >= 0) {
            m_bytesWritten += guard->write(r.body.left(r.resetAfter));
            guard->flush();
            guard->abort();
            return;
        }
        if (r.bodyRepeat <= 0) {
            m_bytesWritten += guard->write(r.body);
            finish();
            return;
        }
        // Paced: write the next chunk only once the previous one has left, so the count of
        // written bytes shows how much the client really took.
        auto left = std::make_shared<qint64>(r.bodyRepeat);
        auto pump = [this, guard, left, r, finish] {
            if (!guard || guard->bytesToWrite() > 0)
                return;
            if (*left == 0) {
                finish();
                return;
            }
            --*left;
            m_bytesWritten += guard->write(r.body);
        };
        connect(guard, &QTcpSocket::bytesWritten, guard, pump);
        pump();
        Q_UNUSED(bodySize);
    };
    if (r.delayMs > 0)
        QTimer::singleShot(r.delayMs, socket, send);
    else
        send();
}

} // namespace dorv::test
