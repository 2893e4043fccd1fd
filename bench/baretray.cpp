// The baseline: a bare Qt tray application with one icon and nothing else.
//   bench_baretray [--report-after MS] [--with-label]
// prints its resident memory after MS of idling; --with-label also shows (then hides) a window
// with one line of text, the least a tray app with a panel draws.
#include "benchutil.h"
#include <QApplication>

#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>

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
