#include "config/projectconfig.h"

#include "common/logging.h"
#include "common/textlines.h"
#include "config/projectlistformat.h"
#include "config/reloadsignal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorv {

namespace {
struct FileRead {
    enum { Missing, Unreadable, Read } outcome;
    QByteArray bytes;
    QString why = {}; // when unreadable
};

// Only a regular file (after symlinks) of at most maxBytes is read, and its size comes from the
// opened file before any byte is read: a FIFO at the path would block the main thread, a device
// like /dev/zero would never end, a huge or sparse file would cost seconds and gigabytes.
// Opening without blocking and checking the opened file leaves no gap for a swap in between.
FileRead readRegularFile(const QString &path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return {FileRead::Missing, {}};
        return {FileRead::Unreadable, {}, QString::fromLocal8Bit(::strerror(error))};
    }
    QFile file;
    struct stat info {};
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {FileRead::Unreadable, {}, file.errorString()};
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return {FileRead::Unreadable, {}, QStringLiteral("not a regular file")};
    if (info.st_size > maxBytes)
        return {FileRead::Unreadable,
                {},
                QStringLiteral("%1 bytes, over the %2 KiB a list may have")
                    .arg(info.st_size)
                    .arg(maxBytes / 1024)};
    // One byte more than fstat said: a file that grows while read is being written to.
    QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    const qint64 got = file.read(bytes.data(), bytes.size());
    if (got < 0 || got > info.st_size)
        return {FileRead::Unreadable, {}, QStringLiteral("it changed while it was read")};
    bytes.truncate(got);
    return {FileRead::Read, bytes};
}

QByteArray digestOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256);
}

std::optional<QByteArray> digest(const FileRead &file)
{
    switch (file.outcome) {
    case FileRead::Missing:
        return QByteArray();
    case FileRead::Unreadable:
        return std::nullopt;
    case FileRead::Read:
        break;
    }
    return digestOf(file.bytes);
}
} // namespace

ProjectConfig::ProjectConfig(const QString &path, const QString &pgrepProgram, QObject *parent)
    : QObject(parent), m_path(path), m_pgrep(pgrepProgram)
{
}

QString ProjectConfig::configPath()
{
    return QDir::home().filePath(QStringLiteral(".marvek/chatwire-projects.yaml"));
}

bool ProjectConfig::tryLoad(QString *whyNot)
{
    const FileRead file = readRegularFile(m_path, kMaxFileBytes);
    m_known = digest(file);
    QString text;
    QString problem =
        file.outcome == FileRead::Missing ? QStringLiteral("there is no file") : file.why;
    if (file.outcome == FileRead::Read && !decodeUtf8Strict(file.bytes, &text))
        problem = QStringLiteral("not valid UTF-8");
    if (whyNot)
        *whyNot = problem;
    noteLoadProblem(file.outcome == FileRead::Missing ? QString() : problem);
    if (!problem.isEmpty())
        return false;
    m_projects = projectlist::parse(text);
    Q_EMIT changed();
    return true;
}

// The list is read at every panel open: a file that cannot be read is written to the log once,
// and once more when it can be read again.
void ProjectConfig::noteLoadProblem(const QString &problem)
{
    if (problem == m_loadProblem)
        return;
    if (problem.isEmpty())
        qCInfo(lcConfig).noquote() << m_path << "can be read again";
    else
        qCWarning(lcConfig).noquote()
            << m_path << "was not read:" << problem << "(the project list stays as it was)";
    m_loadProblem = problem;
}

bool ProjectConfig::changedOnDisk() const
{
    const std::optional<QByteArray> now = digest(readRegularFile(m_path, kMaxFileBytes));
    return !now || !m_known || *now != *m_known;
}

ProjectConfig::SaveResult ProjectConfig::save(QString *whyNot, IfChangedOnDisk ifChanged)
{
    if (ifChanged == IfChangedOnDisk::Refuse && changedOnDisk()) {
        if (whyNot)
            *whyNot = QStringLiteral("the file changed on disk");
        return SaveResult::ChangedOnDisk;
    }
    const bool written = write(whyNot);
    reload::sendSIGHUP(m_pgrep);
    return written ? SaveResult::Saved : SaveResult::Failed;
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
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkdir(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            return fail(QStringLiteral("cannot create %1").arg(folder));
    }

    // QSaveFile writes a temporary file beside the target and renames it over, keeping the old
    // file's permissions and writing through a symlink to its target.
    QSaveFile file(m_path);
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
    m_known = digestOf(bytes);
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
