#include "app/dorvmenuapp.h"
#include "app/singleinstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

// Reads the command line before anything needs a display, so that --help, --version and a
// wrong command line answer anywhere (ssh, a text console, a packaging tool). Exits here for
// those; otherwise returns whether --verbose was given.
bool parseCommandLine(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCoreApplication::setApplicationName(QStringLiteral("dorvmenu"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DORV_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A tray icon that watches and steers the chatwire bridge."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption verbose(
        QStringList{QStringLiteral("verbose")},
        QStringLiteral("Log every poll, command and file access (dorv.* debug messages)."));
    parser.addOption(verbose);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "dorvmenu: %s (try --help)\n", qPrintable(parser.errorText()));
        std::exit(2);
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "dorvmenu: unexpected argument %s (try --help)\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        std::exit(2);
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("dorvmenu"))),
                   stdout);
        std::exit(0);
    }
    if (parser.isSet(version)) {
        std::printf("dorvmenu %s\n", DORV_VERSION);
        std::exit(0);
    }
    return parser.isSet(verbose);
}

// Qt ends the process with an abort (a core dump) when its platform cannot start, for example
// without any display. While the application is built, its messages are held back: a start
// without a display says so in one line, another failure shows what Qt said, and either exits
// with status 1.
QStringList g_heldBack;
QtMessageHandler g_previousHandler = nullptr;

void holdBack(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        g_heldBack.append(qFormatLogMessage(type, context, message));
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("dorvmenu: no display to show the tray icon on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set)\n",
                   stderr);
    } else {
        for (const QString &held : std::as_const(g_heldBack))
            std::fprintf(stderr, "%s\n", qPrintable(held));
        std::fprintf(stderr, "dorvmenu: %s\n", qPrintable(message));
    }
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char **argv)
{
    const bool verbose = parseCommandLine(argc, argv);

    g_previousHandler = qInstallMessageHandler(holdBack);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const QString &held : std::as_const(g_heldBack))
        std::fprintf(stderr, "%s\n", qPrintable(held));
    g_heldBack.clear();

    // Also the title a StatusNotifierItem tray shows. No display name: Qt would append it to
    // every window title on X11.
    QApplication::setApplicationName(QStringLiteral("DORV"));
    // The Wayland app id: desktops find the installed desktop entry's name and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.ferlinq.dorvmenu"));
    if (verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("dorv.*.debug=true"));

    dorv::SingleInstance instance;
    if (!instance.claim())
        return 0; // the running copy opens its panel instead

    dorv::DORVMenuApp menu;
    QObject::connect(&instance, &dorv::SingleInstance::showRequested, &menu,
                     &dorv::DORVMenuApp::showPanel);
    menu.start();
    return app.exec();
}
