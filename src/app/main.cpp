#include "app/dorvmenuapp.h"
#include "app/singleinstance.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Also the title a StatusNotifierItem tray shows. No display name: Qt would append it to
    // every window title on X11.
    QApplication::setApplicationName(QStringLiteral("DORV"));

    dorv::SingleInstance instance;
    if (!instance.claim())
        return 0; // the running copy opens its panel instead

    dorv::DORVMenuApp menu;
    QObject::connect(&instance, &dorv::SingleInstance::showRequested, &menu,
                     &dorv::DORVMenuApp::showPanel);
    menu.start();
    return app.exec();
}
