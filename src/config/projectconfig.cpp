#include "config/projectconfig.h"

#include "common/textlines.h"
#include "config/projectlistformat.h"
#include "config/reloadsignal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorv {

namespace {
// Only a regular file (after symlinks) is read, and never more than maxBytes + 1 bytes: a FIFO
// at the path would block the main thread, a device like /dev/zero would never end. Opening
// without blocking and checking the opened file leaves no gap for a swap in between.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat info {};
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maxBytes)
        return std::nullopt;
    return bytes;
}
} // namespace

ProjectConfig::ProjectConfig(const QString &pgrepProgram, QObject *parent)
    : QObject(parent), m_pgrep(pgrepProgram)
{
}

const QString &ProjectConfig::configPath()
{
    static const QString path =
        QDir::home().filePath(QStringLiteral(".marvek/chatwire-projects.yaml"));
    return path;
}

void ProjectConfig::load()
{
    // A file far beyond any real project list is treated as unreadable rather than read whole.
    const std::optional<QByteArray> bytes = readRegularFile(configPath(), kMaxFileBytes);
    QString text;
    if (!bytes || !decodeUtf8Strict(*bytes, &text))
        return;
    m_projects = projectlist::parse(text);
    Q_EMIT changed();
}

bool ProjectConfig::save(QString *whyNot)
{
    const bool written = write(whyNot);
    reload::sendSIGHUP(m_pgrep);
    return written;
}

bool ProjectConfig::write(QString *whyNot)
{
    auto fail = [whyNot](const QString &reason) {
        if (whyNot)
            *whyNot = reason;
        return false;
    };
    const QString problem = projectlist::listProblem(m_projects);
    if (!problem.isEmpty())
        return fail(problem);

    // The first save on a machine creates the private folder the file lives in.
    const QString folder = QFileInfo(configPath()).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkdir(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            return fail(QStringLiteral("cannot create %1").arg(folder));
    }

    // QSaveFile writes a temporary file beside the target and renames it over, keeping the old
    // file's permissions and writing through a symlink to its target.
    QSaveFile file(configPath());
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    const QByteArray bytes = projectlist::serialize(m_projects);
    // commit() alone misses a short write (a full disk, a file size limit): flush first.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(QStringLiteral("the file could not be written (%1)").arg(reason));
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

void ProjectConfig::addProject(const QString &alias, const QString &path)
{
    m_projects.append(ProjectEntry::create(alias, path, m_projects.isEmpty()));
    Q_EMIT changed();
}

void ProjectConfig::removeProject(const QList<qsizetype> &positions)
{
    QList<qsizetype> valid;
    for (qsizetype p : positions) {
        if (p >= 0 && p < m_projects.size() && !valid.contains(p))
            valid.append(p);
    }
    if (valid.isEmpty())
        return;
    std::sort(valid.begin(), valid.end());
    const bool removedDefault = std::any_of(
        valid.begin(), valid.end(), [this](qsizetype p) { return m_projects[p].isDefault; });
    for (auto it = valid.rbegin(); it != valid.rend(); ++it)
        m_projects.removeAt(*it);
    Q_EMIT changed();
    if (removedDefault && !m_projects.isEmpty()) {
        m_projects.first().isDefault = true;
        Q_EMIT changed();
    }
}

void ProjectConfig::setDefault(const ProjectEntry &entry)
{
    const qsizetype count = m_projects.size();
    for (qsizetype i = 0; i < count; ++i) {
        m_projects[i].isDefault = m_projects[i].id == entry.id;
        Q_EMIT changed();
    }
}

} // namespace dorv
