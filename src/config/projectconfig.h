#pragma once

#include "config/projectentry.h"
#include "config/reloadsignal.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <optional>

// The ordered project list, read from and written to one file (the program's is
// ~/.marvek/chatwire-projects.yaml). Every change of the list emits changed().
namespace dorv {

class ProjectConfig : public QObject {
    Q_OBJECT
public:
    // A larger file is unreadable. The file is read at every panel open: a file this size of
    // the shortest entries loads in about 25 ms and 20 MiB (docs/performance.md); a real list
    // is a few KiB, and 10,000 entries of 45 bytes still fit.
    static constexpr qint64 kMaxFileBytes = 512 << 10;

    enum class SaveResult { Saved, ChangedOnDisk, Failed };
    enum class IfChangedOnDisk { Refuse, Overwrite };

    // The list lives in the file at `path`. After each save the bridge is told to reload,
    // through `pgrepProgram` (a test names a stand-in).
    explicit ProjectConfig(const QString &path, const QString &pgrepProgram = reload::kPgrepProgram,
                           QObject *parent = nullptr);

    // The user's list file, under the home folder as it is at the call.
    static QString configPath();
    const QString &path() const { return m_path; }

    const QList<ProjectEntry> &projects() const { return m_projects; }

    // Replaces the list with the file's content; a file that cannot be read (missing, no
    // access, not UTF-8, over kMaxFileBytes) leaves the list as it was.
    void load() { tryLoad(); }
    // The same, saying whether the file was read and, if not, why.
    bool tryLoad(QString *whyNot = nullptr);

    // Whether the file is no longer what the last load() found or the last save wrote: edited,
    // replaced, removed or created since, or unreadable now.
    bool changedOnDisk() const;

    // Writes the whole list atomically, then signals the bridge to reload, also after a failure.
    // Failed, with a short reason: the list would not read back the same, or the file system
    // refused. ChangedOnDisk: the file changed since (see changedOnDisk()), so nothing was
    // written and the bridge is not signalled; Overwrite skips that check.
    SaveResult save(QString *whyNot = nullptr, IfChangedOnDisk ifChanged = IfChangedOnDisk::Refuse);

    void addProject(const QString &alias, const QString &path);
    // Positions as they are before the removal; positions out of range are ignored.
    void removeProject(const QList<qsizetype> &positions);
    // Only the entry's id is used: exactly the entries with that id become default.
    void setDefault(const ProjectEntry &entry);

Q_SIGNALS:
    void changed();

private:
    bool write(QString *whyNot);
    void noteLoadProblem(const QString &problem);

    QList<ProjectEntry> m_projects;
    QString m_path;
    QString m_pgrep;
    // The file as last read or written: a digest of its bytes, empty when there was no file,
    // none when it could not be read (then it counts as changed).
    std::optional<QByteArray> m_known = QByteArray();
    QString m_loadProblem; // why the file could not be read at the last load; empty if it could
};

} // namespace dorv
