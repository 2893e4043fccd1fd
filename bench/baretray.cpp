// The baseline: a bare Qt tray application with one icon and nothing else.
//   bench_baretray [--report-after MS] [--with-label]
// prints its resident memory after MS of idling; --with-label also shows (then hides) a window
// with one line of text, the least a tray app with a panel draws.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>

static long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::gray);
        p.drawEllipse(3, 3, 16, 16);
    }
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.show();
    const QStringList args = app.arguments();
    QLabel label(QStringLiteral("Bridge connected"));
    if (args.contains(QStringLiteral("--with-label"))) {
        label.show();
        QTimer::singleShot(500, &label, &QWidget::hide);
    }
    const int at = args.indexOf(QStringLiteral("--report-after"));
    if (at > 0) {
        QTimer::singleShot(args.value(at + 1).toInt(), &app, [] {
            std::printf("rss_kib %ld\n", residentKiB());
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
