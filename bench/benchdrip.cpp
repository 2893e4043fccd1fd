// The cost of the most hostile reply shape the bridge can send: a chunked status reply of
// 1-byte chunks, most of the 1 MiB bound at once, then one more chunk every 5 ms.
//   bench_drip poll [SECONDS]   CPU of the polling thread for one such poll (drip SECONDS long)
// Prints "key value" lines. The bridge runs in a thread of its own; only the polling thread's
// CPU time is counted.
#include "bridge/bridgestatus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

using namespace dorv;

namespace {

double threadCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void report(const char *key, double value)
{
    std::printf("%s %.3f\n", key, value);
    std::fflush(stdout);
}

// 1-byte chunks of blank space (JSON allows it before the object): 900 KiB of them at once, a
// chunk every 5 ms for `dripMs`, then the object and the last chunk.
class DripServer : public QObject {
public:
    explicit DripServer(int dripMs) : m_dripMs(dripMs)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("\r\n\r\n") || socket->property("served").toBool())
                    return;
                socket->setProperty("served", true);
                serve(socket);
            });
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void serve(QTcpSocket *socket)
    {
        const QByteArray chunk("1\r\n \r\n");
        socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                      chunk.repeated(900 * 1024 / chunk.size()));
        auto *timer = new QTimer(socket);
        timer->setTimerType(Qt::PreciseTimer);
        auto *clock = new QElapsedTimer;
        clock->start();
        connect(timer, &QTimer::timeout, socket, [=, this] {
            if (clock->elapsed() < m_dripMs) {
                socket->write(chunk);
                return;
            }
            delete clock;
            timer->stop();
            socket->write("b\r\n{\"ok\":true}\r\n0\r\n\r\n");
            socket->disconnectFromHost();
        });
        timer->start(5);
    }

    QTcpServer m_server;
    const int m_dripMs;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) != QStringLiteral("poll")) {
        std::fprintf(stderr, "usage: bench_drip poll [SECONDS]\n");
        return 2;
    }
    const int dripMs = qMax(1, args.value(2, QStringLiteral("5")).toInt()) * 1000;

    QThread bridgeThread;
    QObject inBridgeThread;
    inBridgeThread.moveToThread(&bridgeThread);
    bridgeThread.start();
    DripServer *server = nullptr;
    QMetaObject::invokeMethod(
        &inBridgeThread, [&] { server = new DripServer(dripMs); }, Qt::BlockingQueuedConnection);

    BridgeStatus status(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server->port())));
    QEventLoop loop;
    QObject::connect(&status, &BridgeStatus::changed, &loop,
                     [&] { QTimer::singleShot(0, &loop, &QEventLoop::quit); });
    QElapsedTimer wall;
    wall.start();
    const double cpu = threadCpuMs();
    status.poll();
    loop.exec();
    const double used = threadCpuMs() - cpu;
    report("poll_accepted", status.state() != BridgeState::Offline ? 1 : 0);
    report("poll_wall_ms", double(wall.elapsed()));
    report("poll_cpu_ms", used);
    report("poll_cpu_share", used / double(qMax<qint64>(1, wall.elapsed())));

    QMetaObject::invokeMethod(
        &inBridgeThread, [&] { delete server; }, Qt::BlockingQueuedConnection);
    bridgeThread.quit();
    bridgeThread.wait();
    return 0;
}
