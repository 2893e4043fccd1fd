// The cost of the most hostile reply shape the bridge can send: a chunked status reply of
// 1-byte chunks, most of the 1 MiB bound at once, then one more chunk every 5 ms.
//   bench_drip poll [SECONDS]   CPU of the polling thread for one such poll (drip SECONDS long)
//   bench_drip parse            CPU to read a 1 MiB reply of 1-byte chunks, fed whole and fed
//                               one byte at a time
// Prints "key value" lines. The bridge runs in a thread of its own; only the polling thread's
// CPU time is counted.
#include "bridge/bridgestatus.h"
#include "bridge/httpreplyparser.h"

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

// Milliseconds of CPU to read `wire` in pieces of `piece` bytes; -1 if it was not accepted.
double parseMs(const QByteArray &wire, qsizetype piece)
{
    const double start = threadCpuMs();
    HttpReplyParser parser(BridgeStatus::kMaxStatusReplyBytes);
    for (qsizetype pos = 0; pos < wire.size(); pos += piece)
        parser.feed(QByteArrayView(wire).sliced(pos, qMin(piece, wire.size() - pos)));
    const double used = threadCpuMs() - start;
    return parser.outcome() == HttpReplyParser::Outcome::Complete ? used : -1;
}

int parse()
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunk("1\r\n \r\n");
    const QByteArray end("0\r\n\r\n");
    const qsizetype chunks =
        (BridgeStatus::kMaxStatusReplyBytes - head.size() - end.size()) / chunk.size();
    const QByteArray wire = head + chunk.repeated(chunks) + end;
    report("parse_reply_kib", wire.size() / 1024.0);
    report("parse_whole_ms", parseMs(wire, wire.size()));
    report("parse_bytewise_ms", parseMs(wire, 1));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QStringLiteral("parse"))
        return parse();
    if (args.value(1) != QStringLiteral("poll")) {
        std::fprintf(stderr, "usage: bench_drip poll [SECONDS] | parse\n");
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
    QObject::connect(&status, &BridgeStatus::statusChanged, &loop,
                     [&] { QTimer::singleShot(0, &loop, &QEventLoop::quit); });
    QElapsedTimer wall;
    wall.start();
    const double cpu = threadCpuMs();
    status.poll();
    loop.exec();
    const double used = threadCpuMs() - cpu;
    report("poll_accepted", status.snapshot().state != BridgeState::Offline ? 1 : 0);
    report("poll_wall_ms", double(wall.elapsed()));
    report("poll_cpu_ms", used);
    report("poll_cpu_share", used / double(qMax<qint64>(1, wall.elapsed())));

    QMetaObject::invokeMethod(
        &inBridgeThread, [&] { delete server; }, Qt::BlockingQueuedConnection);
    bridgeThread.quit();
    bridgeThread.wait();
    return 0;
}
