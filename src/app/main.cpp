#include "app/dorvmenuapp.h"
#include "app/singleinstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>

#include <cstdio>

namespace {
// Exits here for --help, --version and a wrong command line; otherwise returns whether
// --verbose was given.
bool parseCommandLine(const QStringList &arguments)
{
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
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    return parser.isSet(verbose);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Also the title a StatusNotifierItem tray shows. No display name: Qt would append it to
    // every window title on X11.
    QApplication::setApplicationName(QStringLiteral("DORV"));
    // The Wayland app id: desktops find the installed desktop entry's name and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.ferlinq.dorvmenu"));
    QApplication::setApplicationVersion(QStringLiteral(DORV_VERSION));
    if (parseCommandLine(QApplication::arguments()))
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
