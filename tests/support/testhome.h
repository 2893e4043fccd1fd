#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Points HOME at a fresh temporary folder for the life of the object, so that file locations
// derived from the home folder (the default list file, the folder picker's start) never touch
// the real one. Create it before the first use of a location computed once per process.
namespace dorv::test {

class TestHome {
public:
    TestHome() : m_oldHome(qgetenv("HOME")) { qputenv("HOME", QFile::encodeName(m_dir.path())); }
    ~TestHome() { qputenv("HOME", m_oldHome); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const { return m_dir.filePath(relative); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
};

// A missing file reads as empty; writeFile creates the folders; writeScript: a shell script.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QString writeScript(const QString &path, const QByteArray &body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A stand-in for pgrep that finds nothing and records, at each call, "---" and then the file at
// `list` as the bridge would read it at that moment, in <path>.seen.
inline QString writeListWatchingPgrep(const QString &path, const QString &list)
{
    return writeScript(path, "{ echo ---; cat '" + QFile::encodeName(list) +
                                 "'; } >> \"$0.seen\" 2>/dev/null\nexit 1\n");
}

// What a recording tool was called with, one argument a line, over all its calls.
inline QStringList recordedArguments(const QString &tool)
{
    return QString::fromUtf8(readFile(tool + QStringLiteral(".argv")))
        .split(u'\n', Qt::SkipEmptyParts);
}

} // namespace dorv::test
