#include "bridgestatus.h"
#include "statusresponse.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace dorv {

QUrl BridgeStatus::defaultBaseUrl()
{
    return QUrl(QStringLiteral("http://127.0.0.1:9876"));
}

BridgeStatus::BridgeStatus(const QUrl &baseUrl, QObject *parent)
    : QObject(parent), m_baseUrl(baseUrl), m_network(new QNetworkAccessManager(this))
{
    // The bridge is on this machine: a system or environment proxy must never see its traffic.
    m_network->setProxy(QNetworkProxy::NoProxy);
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
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
    m_timer->setTimerType(Qt::CoarseTimer);
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
    QNetworkRequest request(endpoint(QStringLiteral("status")));
    request.setTransferTimeout(kStatusIdleTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    // Bound what a misbehaving bridge can cost: total lifetime and body size.
    reply->setReadBufferSize(64 * 1024);
    // A timer owned by the reply dies with it; a free single-shot would linger for the full
    // lifetime after every poll.
    auto *lifetime = new QTimer(reply);
    lifetime->setSingleShot(true);
    connect(lifetime, &QTimer::timeout, reply, &QNetworkReply::abort);
    lifetime->start(kStatusLifetimeMs);

    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    auto overLimit = [reply, tooLarge](qint64 size) {
        if (size > kMaxStatusBodyBytes && !*tooLarge) {
            *tooLarge = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, overLimit] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            overLimit(length.toLongLong());
    });
    connect(reply, &QIODevice::readyRead, reply, [reply, body, overLimit, tooLarge] {
        if (*tooLarge)
            return;
        body->append(reply->readAll());
        overLimit(body->size());
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, tooLarge] {
        reply->deleteLater();
        if (!*tooLarge && reply->isOpen())
            body->append(reply->readAll());
        applyStatusReply(reply, *body, *tooLarge);
    });
}

void BridgeStatus::applyStatusReply(QNetworkReply *reply, const QByteArray &body, bool bodyTooLarge)
{
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (bodyTooLarge || reply->error() != QNetworkReply::NoError || !code.isValid() ||
        code.toInt() != 200) {
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
    QNetworkRequest request(endpoint(QStringLiteral("use")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("project"), name}})
                                .toJson(QJsonDocument::Compact);
    sendCommand(request, &body);
}

void BridgeStatus::newSession()
{
    sendCommand(QNetworkRequest(endpoint(QStringLiteral("new"))), nullptr);
}

void BridgeStatus::sendCommand(QNetworkRequest request, const QByteArray *body)
{
    request.setTransferTimeout(kCommandIdleTimeoutMs);
    QNetworkReply *reply =
        body ? m_network->post(request, *body) : m_network->sendCustomRequest(request, "POST");
    // The reply is never examined: whatever happened, the next poll shows it.
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        poll();
    });
}

} // namespace dorv
