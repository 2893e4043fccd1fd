#pragma once

#include <QString>
#include <QTemporaryDir>

// Points HOME at a fresh temporary folder for the life of the object, so that file locations
// derived from the home folder never touch the real one. Create it before the first use of
// any such location: they are computed once per process.
namespace dorv::test {

class TestHome {
public:
    TestHome();
    ~TestHome();
    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const { return m_dir.filePath(relative); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
};

// Writes an executable shell script; returns its path.
QString writeScript(const QString &path, const QByteArray &body);
// A fake platform tool: appends each argument as a line to argvLog, then runs `then`.
QString writeFakeTool(const QString &path, const QString &argvLog, const QByteArray &then);

// Whole-file helpers; a missing file reads as empty. writeFile creates the folders.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);
// A fixture from tests/data.
QByteArray testData(const QString &name);

} // namespace dorv::test
