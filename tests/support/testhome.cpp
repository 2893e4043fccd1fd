#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace dorv::test {

TestHome::TestHome() : m_oldHome(qgetenv("HOME"))
{
    qputenv("HOME", QFile::encodeName(m_dir.path()));
}

TestHome::~TestHome()
{
    qputenv("HOME", m_oldHome);
}

QString writeScript(const QString &path, const QByteArray &body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
    }
    return path;
}

} // namespace dorv::test
