#include "bridge/bridgestatus.h"
#include "bridge/statusresponse.h"

#include "bridge/httpexchange.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace dorv {

QUrl BridgeStatus::defaultBaseUrl()
{
    return QUrl(QStringLiteral("http://127.0.0.1:9876"));
}

BridgeStatus::BridgeStatus(const QUrl &baseUrl, QObject *parent)
    : QObject(parent), m_baseUrl(baseUrl)
{
}
void BridgeStatus::setState(BridgeState state)
{
    publish(m_state, state);
}

QUrl BridgeStatus::endpoint(const QString &component) const
{
    QUrl url = m_baseUrl;
    QString path = url.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    url.setPath(path + component);
    return url;
}

void BridgeStatus::startPolling()
{
    poll();
    // A repeated call replaces the timer, so there is never more than one.
    delete m_timer;
    m_timer = new QTimer(this);
    m_timer->setInterval(kPollIntervalMs);
    // A coarse timer would poll up to 5 % early.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [self = QPointer(this)] {
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self)
                    self->poll();
            },
            Qt::QueuedConnection);
    });
    m_timer->start();
}

void BridgeStatus::poll()
{
    const HttpExchange *exchange =
        HttpExchange::start(endpoint(QStringLiteral("status")), "GET", {}, {},
                            {kStatusIdleTimeoutMs, kStatusLifetimeMs, kMaxStatusReplyBytes}, this);
    connect(exchange, &HttpExchange::finished, this, &BridgeStatus::applyStatusReply);
}

void BridgeStatus::applyStatusReply(int statusCode, const QByteArray &body)
{
    if (statusCode != 200) {
        publish(m_state, BridgeState::Offline);
        return;
    }
    const std::optional<StatusResponse> decoded = StatusResponse::decode(body);
    if (!decoded) {
        publish(m_state, BridgeState::Offline);
        return;
    }
    const StatusResponse &r = *decoded;
    publish(m_state, r.chatwire == QStringLiteral("connected") ? BridgeState::Connected
                                                               : BridgeState::Connecting);
    publish(m_activeProject, r.activeProject.value_or(QString()));
    publish(m_projects, r.projects.value_or(QStringList()));
    publish(m_marvekBusy, r.marvekBusy.value_or(false));
    publish(m_contextPct, r.contextPct);
    publish(m_queued, r.queued.value_or(0));
}

void BridgeStatus::switchProject(const QString &name)
{
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("project"), name}})
                                .toJson(QJsonDocument::Compact);
    sendCommand(QStringLiteral("use"), "Content-Type: application/json\r\n", body);
}

void BridgeStatus::newSession()
{
    sendCommand(QStringLiteral("new"), {}, {});
}

// A command goes out once on a connection of its own: an HTTP stack that resends a request
// whose connection closed early would start two sessions. However it ends, the next poll
// shows what happened.
void BridgeStatus::sendCommand(const QString &component, const QByteArray &headers,
                               const QByteArray &body)
{
    const HttpExchange *exchange =
        HttpExchange::start(endpoint(component), "POST", headers, body,
                            {kCommandIdleTimeoutMs, 0, kMaxCommandReplyBytes}, this);
    connect(exchange, &HttpExchange::finished, this, &BridgeStatus::poll);
}

} // namespace dorv
