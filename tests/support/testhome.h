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

} // namespace dorv::test
