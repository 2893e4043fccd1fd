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
    writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QString writeFakeTool(const QString &path, const QString &argvLog, const QByteArray &then)
{
    return writeScript(path, "printf '%s\\n' \"$@\" >> '" + QFile::encodeName(argvLog) + "'\n" +
                                 then + "\n");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray testData(const QString &name)
{
    return readFile(qEnvironmentVariable("DORV_TEST_DATA") + u'/' + name);
}

} // namespace dorv::test
