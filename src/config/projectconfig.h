#pragma once

#include "config/projectentry.h"
#include "config/reloadsignal.h"

#include <QList>
#include <QObject>

// The ordered project list, read from and written to ~/.marvek/chatwire-projects.yaml.
// Every change of the list emits changed().
namespace dorv {

class ProjectConfig : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxFileBytes = 64 << 20;

    // After each save the bridge is told to reload, through `pgrepProgram` (a test names a
    // stand-in).
    explicit ProjectConfig(const QString &pgrepProgram = reload::kPgrepProgram,
                           QObject *parent = nullptr);

    static const QString &configPath();

    const QList<ProjectEntry> &projects() const { return m_projects; }

    // Replaces the list with the file's content; a file that cannot be read (missing, no
    // access, not UTF-8, over 64 MiB) leaves the list as it was.
    void load();

    // Writes the whole list atomically, then signals the bridge to reload, whatever the outcome.
    // Returns false with a short reason when the list was not written: it would not read back
    // the same, or the file system refused.
    bool save(QString *whyNot = nullptr);

    void addProject(const QString &alias, const QString &path);
    // Positions as they are before the removal; positions out of range are ignored.
    void removeProject(const QList<qsizetype> &positions);
    // Only the entry's id is used: exactly the entries with that id become default.
    void setDefault(const ProjectEntry &entry);

Q_SIGNALS:
    void changed();

private:
    bool write(QString *whyNot);

    QList<ProjectEntry> m_projects;
    QString m_pgrep;
};

} // namespace dorv
