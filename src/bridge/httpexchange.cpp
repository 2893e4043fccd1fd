#include "bridge/httpexchange.h"

#include <QNetworkProxy>

namespace dorv {

HttpExchange::HttpExchange(const Limits &limits, QObject *parent)
    : QObject(parent), m_limits(limits), m_parser(limits.maxReplyBytes)
{
    // A coarse timer may fire up to 5 % early: a bridge answering just inside its time would
    // be refused.
    for (QTimer *timer : {&m_idle, &m_lifetime}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_idle, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("no answer for %1 s").arg(m_limits.idleTimeoutMs / 1000.0));
    });
    connect(&m_lifetime, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("no complete reply within %1 s").arg(m_limits.lifetimeMs / 1000.0));
    });
    auto activity = [this] { m_idle.start(m_limits.idleTimeoutMs); };
    connect(&m_socket, &QTcpSocket::connected, this, activity);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, activity);
    connect(&m_socket, &QTcpSocket::readyRead, this, &HttpExchange::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &HttpExchange::onClosed);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &HttpExchange::onClosed);
}

HttpExchange::~HttpExchange()
{
    // An owner that goes away mid-exchange: the socket's last signals must find nothing to do.
    m_done = true;
    m_socket.abort();
}

HttpExchange *HttpExchange::start(const QUrl &url, const QByteArray &method,
                                  const QByteArray &headers, const QByteArray &body,
                                  const Limits &limits, QObject *parent)
{
    auto *exchange = new HttpExchange(limits, parent);
    QByteArray request = method + ' ' + url.path(QUrl::FullyEncoded).toLatin1() + " HTTP/1.1\r\n" +
                         "Host: " + url.authority(QUrl::FullyEncoded).toLatin1() + "\r\n" +
                         headers + "Connection: close\r\n";
    // Without a length a strict server answers a bodiless POST with 411 Length Required.
    if (method != "GET")
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "\r\n" + body;

    // The bridge is on this machine: a system or environment proxy must never see its traffic.
    exchange->m_socket.setProxy(QNetworkProxy::NoProxy);
    connect(&exchange->m_socket, &QTcpSocket::connected, exchange,
            [exchange, request] { exchange->m_socket.write(request); });
    exchange->m_idle.start(limits.idleTimeoutMs);
    if (limits.lifetimeMs > 0)
        exchange->m_lifetime.start(limits.lifetimeMs);
    exchange->m_socket.connectToHost(url.host(), quint16(url.port(80)));
    return exchange;
}

void HttpExchange::onReadyRead()
{
    if (m_done)
        return;
    const QByteArray data = m_socket.readAll();
    if (data.isEmpty())
        return;
    m_idle.start(m_limits.idleTimeoutMs);
    // The parser reads each byte once and never holds more than the bound.
    settle(m_parser.feed(data));
}

void HttpExchange::onClosed()
{
    onReadyRead();
    if (m_done)
        return;
    const HttpReplyParser::Outcome outcome = m_parser.closed();
    // A connection that failed rather than closed: the socket knows best why (connection
    // refused, host unreachable).
    const QAbstractSocket::SocketError error = m_socket.error();
    if (outcome == HttpReplyParser::Outcome::Failed &&
        error != QAbstractSocket::RemoteHostClosedError &&
        error != QAbstractSocket::UnknownSocketError)
        return finish(m_socket.errorString().toLower());
    settle(outcome);
}

void HttpExchange::settle(HttpReplyParser::Outcome outcome)
{
    if (outcome == HttpReplyParser::Outcome::Complete)
        finish();
    else if (outcome == HttpReplyParser::Outcome::Failed)
        finish(m_parser.failure());
}

void HttpExchange::finish(const QString &failure)
{
    const bool complete = failure.isEmpty();
    if (m_done)
        return;
    m_done = true;
    m_idle.stop();
    m_lifetime.stop();
    m_socket.abort();
    Q_EMIT finished(complete ? m_parser.status() : -1, complete ? m_parser.body() : QByteArray(),
                    failure);
    deleteLater();
}

} // namespace dorv
