// Measures the utility's own classes, one measure per run:
//   bench_dorv idle   URL      panel shown, 100 polls, then idle: resident memory
//   bench_dorv growth URL N   resident memory after 10% and after all of N polls
//   bench_dorv cpu    URL N   CPU time and panel refreshes per accepted poll, panel open and closed
//   bench_dorv config N       project list load and save of N entries
//   bench_dorv listfile BYTES|cap [LINE]   one load of a list file of BYTES bytes (cap: the
//                             largest allowed) of LINE (default "  a: /a") repeated:
//                             load time (wall, CPU), growth of the peak resident memory, entries
//   bench_dorv soak   URL M   the panel opened once and closed, then M minutes of the 5 s polls:
//                             resident memory, open files and threads at every minute
//   bench_dorv lists  URL N P  with N projects known (the bridge lists them too): the poll that
//                              brings the rows into the open panel, opening the panel and the
//                              editor, and CPU per poll over P polls, panel open and closed
// Prints "key value" lines.
#include "app/dorvmenuapp.h"
#include "app/panelwindow.h"
#include "bridge/bridgestatus.h"
#include "config/projectconfig.h"
#include "config/projectlistformat.h"
#include "config/reloadsignal.h"
#include "ui/menucontentview.h"
#include "ui/settingswindowcontroller.h"

#include "benchutil.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <sys/resource.h>

using namespace dorv;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void report(const char *key, double value)
{
    std::printf("%s %.3f\n", key, value);
    std::fflush(stdout);
}

// One poll, waited for; returns whether it was accepted.
bool pollOnce(BridgeStatus *status)
{
    bool accepted = false;
    QEventLoop loop;
    auto c = QObject::connect(status, &BridgeStatus::statusChanged, &loop, [&](auto &s) {
        accepted = s.state != BridgeState::Offline;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
    });
    status->poll();
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(5000);
    loop.exec();
    QObject::disconnect(c);
    QCoreApplication::processEvents(); // the panel's refresh
    return accepted;
}

// "projects:" and then `line` repeated up to `bytes`, padded with blanks; written in pieces so
// that the writing leaves no peak of its own in the resident memory.
void writeListFile(const QString &path, qint64 bytes, const QByteArray &line)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("projects:\n");
    const QByteArray piece = line.repeated(qMax(1, 65536 / int(line.size())));
    while (file.size() + piece.size() <= bytes)
        file.write(piece);
    while (file.size() + line.size() <= bytes)
        file.write(line);
    file.write(QByteArray(bytes - file.size(), ' '));
}

void writeList(int n)
{
    QList<ProjectEntry> entries;
    for (int i = 0; i < n; ++i)
        entries.append(ProjectEntry::create(QStringLiteral("project-%1").arg(i),
                                            QStringLiteral("/home/user/src/project-%1").arg(i)));
    QDir().mkpath(QFileInfo(ProjectConfig::configPath()).path());
    QFile file(ProjectConfig::configPath());
    file.open(QIODevice::WriteOnly);
    file.write(projectlist::serialize(entries));
}

// Milliseconds from `act` until the window it returns is on screen and painted, wall clock
// and CPU.
void reportShown(const char *key, const std::function<QWidget *()> &act)
{
    QElapsedTimer t;
    t.start();
    const double cpu = cpuSeconds();
    QWidget *window = act();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QCoreApplication::processEvents(); // the paint that follows the exposure
    report((QByteArray(key) + "_ms").constData(), t.nsecsElapsed() / 1e6);
    report((QByteArray(key) + "_cpu_ms").constData(), (cpuSeconds() - cpu) * 1e3);
}

void hideAndWait(QWidget *window)
{
    window->hide();
    QElapsedTimer t;
    t.start();
    while (window->windowHandle()->isExposed() && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

double cpuPerPoll(BridgeStatus *status, int polls)
{
    const double cpu = cpuSeconds();
    for (int i = 0; i < polls; ++i)
        pollOnce(status);
    return (cpuSeconds() - cpu) * 1e6 / polls;
}

void lists(DORVMenuApp &app, int polls)
{
    app.start();
    app.togglePanel(); // the first opening: no rows yet, they come with the first poll
    QElapsedTimer t;
    t.start();
    const double cpu = cpuSeconds();
    pollOnce(app.status());
    report("first_rows_ms", t.nsecsElapsed() / 1e6);
    report("first_rows_cpu_ms", (cpuSeconds() - cpu) * 1e3);
    PanelWindow *panel = app.ensurePanel();
    hideAndWait(panel);
    reportShown("open_panel", [&] {
        app.showPanel();
        return panel;
    });
    report("cpu_us_per_poll_open", cpuPerPoll(app.status(), polls));
    hideAndWait(panel);
    report("cpu_us_per_poll_closed", cpuPerPoll(app.status(), polls));
    SettingsWindowController &editor = *app.editor();
    reportShown("open_editor", [&] {
        editor.open();
        return editor.window();
    });
}

int countIn(const QString &folder)
{
    return int(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

void soak(DORVMenuApp &app, int minutes)
{
    app.start();
    app.togglePanel(); // polling starts with the first opening, as for a user
    pollOnce(app.status());
    app.ensurePanel()->hide();
    QEventLoop loop;
    int minute = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, &loop, [&] {
        ++minute;
        std::printf("minute %d rss_kib %ld fds %d threads %d\n", minute, residentKiB(),
                    countIn(QStringLiteral("/proc/self/fd")),
                    countIn(QStringLiteral("/proc/self/task")));
        std::fflush(stdout);
        if (minute >= minutes)
            loop.quit();
    });
    clock.start(60000);
    loop.exec();
}

void idle(DORVMenuApp &app)
{
    app.start();
    app.togglePanel();
    for (int i = 0; i < 100; ++i)
        pollOnce(app.status());
    app.ensurePanel()->hide();
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    report("rss_kib", residentKiB());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    const QStringList args = qapp.arguments();
    const QString mode = args.value(1);
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));

    if (mode == QStringLiteral("config")) {
        const int n = args.value(2).toInt();
        QList<ProjectEntry> entries;
        for (int i = 0; i < n; ++i)
            entries.append(
                ProjectEntry::create(QStringLiteral("project-%1").arg(i),
                                     QStringLiteral("/home/user/src/project-%1").arg(i)));
        QDir().mkpath(home.filePath(QStringLiteral(".marvek")));
        QFile file(ProjectConfig::configPath());
        file.open(QIODevice::WriteOnly);
        file.write(projectlist::serialize(entries));
        file.close();
        ProjectConfig config(ProjectConfig::configPath(), QStringLiteral("/bin/true"));
        const int rounds = qMax(1, 100000 / qMax(1, n));
        QElapsedTimer t;
        t.start();
        for (int r = 0; r < rounds; ++r)
            config.load();
        report("load_ms", t.nsecsElapsed() / 1e6 / rounds);
        t.restart();
        for (int r = 0; r < rounds; ++r)
            config.save();
        report("save_ms", t.nsecsElapsed() / 1e6 / rounds);
        return config.projects().size() == n ? 0 : 1;
    }

    if (mode == QStringLiteral("listfile")) {
        const QString size = args.value(2);
        const qint64 bytes =
            size == QStringLiteral("cap") ? ProjectConfig::kMaxFileBytes : size.toLongLong();
        const QByteArray line =
            (args.size() > 3 ? args.value(3) : QStringLiteral("  a: /a")).toUtf8() + '\n';
        QDir().mkpath(home.filePath(QStringLiteral(".marvek")));
        writeListFile(ProjectConfig::configPath(), bytes, line);
        ProjectConfig config(ProjectConfig::configPath(), QStringLiteral("/bin/true"));
        const long before = residentKiB();
        QElapsedTimer t;
        const double cpu = cpuSeconds();
        t.start();
        config.load();
        report("load_ms", t.nsecsElapsed() / 1e6);
        report("load_cpu_ms", (cpuSeconds() - cpu) * 1e3); // the same on a busy machine
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        report("peak_kib", double(u.ru_maxrss - before));
        report("entries", double(config.projects().size()));
        return 0;
    }

    DORVMenuApp app{AppSeams{.bridgeUrl = QUrl(args.value(2)),
                             .serviceRunner = {},
                             .folderPicker = {},
                             .pgrepProgram = QStringLiteral("/bin/true")}};
    if (mode == QStringLiteral("lists")) {
        writeList(args.value(3).toInt());
        lists(app, qMax(1, args.value(4).toInt()));
        return 0;
    }
    if (mode == QStringLiteral("soak")) {
        soak(app, qMax(1, args.value(3).toInt()));
        return 0;
    }
    if (mode == QStringLiteral("idle")) {
        idle(app);
        return 0;
    }
    const int n = args.value(3).toInt();
    app.start();
    app.togglePanel();
    if (mode == QStringLiteral("growth")) {
        for (int i = 0; i < n; ++i) {
            if (!pollOnce(app.status())) {
                std::fprintf(stderr, "poll %d not accepted (state %s)\n", i,
                             qPrintable(toText(app.status()->snapshot().state)));
                return 2;
            }
            if (i + 1 == n / 10)
                report("rss_kib_early", residentKiB());
        }
        report("rss_kib_late", residentKiB());
        return 0;
    }
    if (mode == QStringLiteral("cpu")) {
        for (bool open : {true, false}) {
            if (!open)
                app.ensurePanel()->hide();
            for (int i = 0; i < 50; ++i)
                pollOnce(app.status()); // warm up
            const int refreshes = app.panel()->refreshCount();
            const double cpu = cpuSeconds();
            for (int i = 0; i < n; ++i)
                pollOnce(app.status());
            report(open ? "cpu_us_per_poll_open" : "cpu_us_per_poll_closed",
                   (cpuSeconds() - cpu) * 1e6 / n);
            report(open ? "refreshes_per_poll_open" : "refreshes_per_poll_closed",
                   double(app.panel()->refreshCount() - refreshes) / n);
        }
        return 0;
    }
    std::fprintf(stderr,
                 "usage: bench_dorv idle|growth|cpu|soak URL [N] | lists URL N POLLS | config N\n");
    return 2;
}
