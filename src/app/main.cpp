#include "dorvmenuapp.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DORVMenu"));
    QApplication::setApplicationDisplayName(QStringLiteral("DORV"));
    dorv::DORVMenuApp menu;
    menu.start();
    return app.exec();
}
