#include "bridge/bridgestatus.h"

#include "bridge/httpexchange.h"
#include "bridge/statusresponse.h"
#include "common/logging.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace dorv {

QUrl BridgeStatus::defaultBaseUrl()
{
    return QUrl(QStringLiteral("http://127.0.0.1:9876"));
}

BridgeStatus::BridgeStatus(const QUrl &baseUrl, BridgeTimeouts timeouts, QObject *parent)
    : QObject(parent), m_baseUrl(baseUrl), m_timeouts(timeouts)
{
}

void BridgeStatus::setOffline()
{
    m_snapshot.state = BridgeState::Offline;
    Q_EMIT statusChanged(m_snapshot);
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

void BridgeStatus::poll()
{
    qCDebug(lcBridge) << "poll";
    const HttpExchange *exchange = HttpExchange::start(
        endpoint(QStringLiteral("status")), "GET", {}, {},
        {m_timeouts.statusIdleMs, m_timeouts.statusLifetimeMs, kMaxStatusReplyBytes}, this);
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

// A failed poll changes only the state: the rest stays as the last accepted reply left it.
void BridgeStatus::failed(const QString &failure)
{
    noteOutcome(failure);
    setOffline();
}

void BridgeStatus::applyStatusReply(int statusCode, const QByteArray &body, const QString &failure)
{
    if (statusCode != 200)
        return failed(statusCode < 0 ? failure : QStringLiteral("HTTP status %1").arg(statusCode));
    const std::optional<StatusResponse> decoded = StatusResponse::decode(body);
    if (!decoded)
        return failed(QStringLiteral("the reply's body is not a status object"));
    qCDebug(lcBridge) << "status reply:" << body.size() << "bytes";
    noteOutcome({});
    const StatusResponse &r = *decoded;
    BridgeSnapshot &s = m_snapshot;
    s.state = r.chatwire == QStringLiteral("connected") ? BridgeState::Connected
                                                        : BridgeState::Connecting;
    s.activeProject = r.activeProject.value_or(QString());
    // An unchanged list keeps its data: the views then see "the same" at no cost, however long.
    if (QStringList projects = r.projects.value_or(QStringList()); projects != s.projects)
        s.projects = std::move(projects);
    s.marvekBusy = r.marvekBusy.value_or(false);
    s.contextPct = r.contextPct;
    s.queued = r.queued.value_or(0);
    Q_EMIT statusChanged(m_snapshot);
}

void BridgeStatus::switchProject(const QString &name, std::function<void()> ended)
{
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("project"), name}})
                                .toJson(QJsonDocument::Compact);
    sendCommand(QStringLiteral("use"), "Content-Type: application/json\r\n", body,
                std::move(ended));
}

void BridgeStatus::newSession(std::function<void()> ended)
{
    sendCommand(QStringLiteral("new"), {}, {}, std::move(ended));
}

// A command goes out once on a connection of its own: an HTTP stack that resends a request
// whose connection closed early would start two sessions.
void BridgeStatus::sendCommand(const QString &component, const QByteArray &headers,
                               const QByteArray &body, std::function<void()> ended)
{
    qCDebug(lcBridge).noquote() << "POST" << endpoint(component).path() << body;
    const HttpExchange *exchange =
        HttpExchange::start(endpoint(component), "POST", headers, body,
                            {m_timeouts.commandIdleMs, 0, kMaxCommandReplyBytes}, this);
    // The reply is never examined beyond this line of the log.
    connect(exchange, &HttpExchange::finished, this,
            [this, component, ended = std::move(ended)](int statusCode) {
                qCDebug(lcBridge).noquote()
                    << "POST" << endpoint(component).path() << "ended with status" << statusCode;
                if (ended)
                    ended();
                Q_EMIT commandEnded();
            });
}

} // namespace dorv
