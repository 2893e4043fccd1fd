// Saves two different project lists in turn, forever, until it is killed.
#include "projectconfig.h"
#include "reloadsignal.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    dorv::reload::setPgrepOverride(QStringLiteral("/bin/true"));
    dorv::ProjectConfig small;
    small.addProject(QStringLiteral("a"), QStringLiteral("/a"));
    dorv::ProjectConfig large;
    for (int i = 0; i < 2000; ++i)
        large.addProject(QStringLiteral("project%1").arg(i), QStringLiteral("/srv/p/%1").arg(i));
    for (;;) {
        small.save();
        large.save();
    }
}
