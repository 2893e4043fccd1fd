#include "app/singleinstance.h"
#include "common/logging.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace dorv {

SingleInstance::SingleInstance(const QString &dir, QObject *parent)
    : QObject(parent), m_socketPath(dir + QStringLiteral("/dorvmenu.socket")),
      m_lockPath(dir + QStringLiteral("/dorvmenu.lock"))
{
}

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::defaultDir()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    const QString fallback = QDir::tempPath() + QStringLiteral("/dorvmenu-%1").arg(::getuid());
    QDir().mkpath(fallback);
    QFile::setPermissions(fallback, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return fallback;
}

bool SingleInstance::claim()
{
    // The kernel drops an flock when its holder dies, so a crashed copy never blocks the next.
    m_lockFd =
        ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0 || ::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
        // Holding the lock makes any socket file left at the path a stale one.
        QLocalServer::removeServer(m_socketPath);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *peer = m_server->nextPendingConnection()) {
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                    if (peer->readAll().startsWith("show"))
                        Q_EMIT showRequested();
                    peer->disconnectFromServer();
                });
            }
        });
        if (!m_server->listen(m_socketPath))
            qCWarning(lcUi) << "cannot listen on" << m_socketPath << m_server->errorString();
        return true;
    }
    // The running copy takes the lock a moment before it listens: keep trying for 2 s.
    for (int attempt = 0; attempt < 20; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(100)) {
            socket.write("show\n");
            socket.waitForBytesWritten(1000);
            socket.waitForDisconnected(1000);
            return false;
        }
        QThread::msleep(100);
    }
    qCWarning(lcUi) << "another copy holds" << m_lockPath << "but does not answer";
    return false;
}

} // namespace dorv
