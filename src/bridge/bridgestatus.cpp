#include "bridge/bridgestatus.h"
#include "bridge/statusresponse.h"
#include "common/logging.h"

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
    qCDebug(lcBridge) << "poll";
    const HttpExchange *exchange =
        HttpExchange::start(endpoint(QStringLiteral("status")), "GET", {}, {},
                            {kStatusIdleTimeoutMs, kStatusLifetimeMs, kMaxStatusReplyBytes}, this);
    connect(exchange, &HttpExchange::finished, this, &BridgeStatus::applyStatusReply);
}

void BridgeStatus::noteOutcome(const QString &failure)
{
    const QString url = endpoint(QStringLiteral("status")).toString();
    if (failure.isEmpty()) {
        if (!m_failure.isEmpty())
            qCInfo(lcBridge).noquote() << "the bridge answers again at" << url << "after"
                                       << m_failedPolls << "failed polls";
        m_failure.clear();
        m_failedPolls = 0;
        return;
    }
    ++m_failedPolls;
    if (failure != m_failure)
        qCWarning(lcBridge).noquote() << "polling" << url << "failed:" << failure
                                      << "(the icon shows offline until a poll succeeds)";
    m_failure = failure;
}

void BridgeStatus::applyStatusReply(int statusCode, const QByteArray &body, const QString &failure)
{
    if (statusCode != 200) {
        noteOutcome(statusCode < 0 ? failure : QStringLiteral("HTTP status %1").arg(statusCode));
        publish(m_state, BridgeState::Offline);
        return;
    }
    const std::optional<StatusResponse> decoded = StatusResponse::decode(body);
    if (!decoded) {
        noteOutcome(QStringLiteral("the reply's body is not a status object"));
        publish(m_state, BridgeState::Offline);
        return;
    }
    qCDebug(lcBridge) << "status reply:" << body.size() << "bytes";
    noteOutcome({});
    const StatusResponse &r = *decoded;
    publish(m_state, r.chatwire == QStringLiteral("connected") ? BridgeState::Connected
                                                               : BridgeState::Connecting);
    publish(m_activeProject, r.activeProject.value_or(QString()));
    // An unchanged list keeps its data: the views then see "the same" at no cost, however long.
    QStringList projects = r.projects.value_or(QStringList());
    publish(m_projects, projects == m_projects ? m_projects : std::move(projects));
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
    qCDebug(lcBridge).noquote() << "POST" << endpoint(component).path() << body;
    const HttpExchange *exchange =
        HttpExchange::start(endpoint(component), "POST", headers, body,
                            {kCommandIdleTimeoutMs, 0, kMaxCommandReplyBytes}, this);
    // The reply is never examined beyond this line of the log.
    connect(exchange, &HttpExchange::finished, this, [this, component](int statusCode) {
        qCDebug(lcBridge).noquote()
            << "POST" << endpoint(component).path() << "ended with status" << statusCode;
        poll();
    });
}

} // namespace dorv
