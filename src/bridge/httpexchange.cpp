#include "bridge/httpexchange.h"

#include <QNetworkProxy>

namespace dorv {

namespace {
// The body of a chunked reply once its last chunk has arrived; no value before that.
std::optional<QByteArray> decodeChunked(const QByteArray &raw)
{
    QByteArray body;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype eol = raw.indexOf("\r\n", pos);
        if (eol < 0)
            return std::nullopt;
        QByteArray size = raw.mid(pos, eol - pos);
        size.truncate(size.indexOf(';') < 0 ? size.size() : size.indexOf(';'));
        bool ok = false;
        const qint64 length = size.trimmed().toLongLong(&ok, 16);
        if (!ok || length < 0)
            return std::nullopt;
        pos = eol + 2;
        if (length == 0)
            return body; // trailers are of no interest
        if (raw.size() < pos + length + 2)
            return std::nullopt;
        body += raw.mid(pos, length);
        pos += length + 2;
    }
}
} // namespace

HttpExchange::HttpExchange(const Limits &limits, QObject *parent)
    : QObject(parent), m_limits(limits)
{
    // A coarse timer may fire up to 5 % early: a bridge answering just inside its time would
    // be refused.
    for (QTimer *timer : {&m_idle, &m_lifetime}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this] { finish(false); });
    }
    auto activity = [this] { m_idle.start(m_limits.idleTimeoutMs); };
    connect(&m_socket, &QTcpSocket::connected, this, activity);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, activity);
    connect(&m_socket, &QTcpSocket::readyRead, this, &HttpExchange::onReadyRead);
    auto closed = [this] {
        onReadyRead();
        if (m_done)
            return;
        const bool untilClose = m_headEnd >= 0 && !m_chunked && m_contentLength < 0;
        if (untilClose)
            m_body = m_received.mid(m_headEnd);
        finish(untilClose);
    };
    connect(&m_socket, &QTcpSocket::disconnected, this, closed);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, closed);
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
    // Never hold more than the bound, whatever the peer sends or announces.
    if (m_received.size() + data.size() > m_limits.maxReplyBytes)
        return finish(false);
    m_received += data;
    if (m_headEnd < 0 && !parseHead())
        return finish(false);
    if (m_headEnd >= 0 && bodyComplete())
        finish(true);
}

bool HttpExchange::parseHead()
{
    const qsizetype end = m_received.indexOf("\r\n\r\n");
    if (end < 0)
        return true; // not all there yet
    const QList<QByteArray> lines = m_received.left(end).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    bool ok = false;
    const int status = statusLine.value(1).toInt(&ok);
    if (!statusLine.first().startsWith("HTTP/1.") || !ok || status < 100 || status > 999)
        return false;
    for (const QByteArray &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            m_contentLength = value.toLongLong(&ok);
            if (!ok || m_contentLength < 0 || m_contentLength > m_limits.maxReplyBytes)
                return false;
        } else if (name == "transfer-encoding") {
            m_chunked = value.toLower().contains("chunked");
        }
    }
    m_status = status;
    m_headEnd = end + 4;
    return true;
}

bool HttpExchange::bodyComplete()
{
    const QByteArray raw = m_received.mid(m_headEnd);
    if (m_chunked) {
        std::optional<QByteArray> body = decodeChunked(raw);
        if (body)
            m_body = std::move(*body);
        return body.has_value();
    }
    if (m_contentLength < 0 || raw.size() < m_contentLength)
        return false;
    m_body = raw.left(m_contentLength);
    return true;
}

void HttpExchange::finish(bool complete)
{
    if (m_done)
        return;
    m_done = true;
    m_idle.stop();
    m_lifetime.stop();
    m_socket.abort();
    Q_EMIT finished(complete ? m_status : -1, complete ? m_body : QByteArray());
    deleteLater();
}

} // namespace dorv
