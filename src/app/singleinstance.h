#pragma once

#include <QObject>

class QLocalServer;

// One running copy per user: the first copy holds a lock and listens on a local socket; a later
// copy asks it to show its panel and steps aside.
namespace dorv {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `dir` holds the lock and the socket; by default the user's runtime folder.
    explicit SingleInstance(const QString &dir = defaultDir(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this copy is the one that runs; false when another copy was told to show itself.
    bool claim();

    static QString defaultDir();

Q_SIGNALS:
    void showRequested();

private:
    QString m_socketPath;
    QString m_lockPath;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
};

} // namespace dorv
