#pragma once

#include "config/projectentry.h"

#include <QHash>
#include <QSet>
#include <QWidget>

// The bridge's projects: a heading and one row per alias; a row pressed asks to switch to its
// project. Only the rows on screen exist as widgets, so a long list costs what it shows.
namespace dorv {

class ProjectRowList;

class ProjectsSection : public QWidget {
    Q_OBJECT
public:
    explicit ProjectsSection(QWidget *parent = nullptr);

    // Shows `names` in order, a check mark at `active`, under each name the path of the first
    // entry of `known` with that alias, a spinner at the `busy` ones. Does nothing when nothing
    // changed.
    void showProjects(const QStringList &names, const QString &active,
                      const QList<ProjectEntry> &known, const QSet<QString> &busy = {});
    // Shows the rows at `width` in at most `limit` height (all of them when limit < 0).
    void fitRows(int width, int limit);
    // Scrolls the active project's row into view, now and whenever the list is resized.
    void revealActive();
    int rowsHeight() const;

Q_SIGNALS:
    void projectChosen(const QString &name);

private:
    friend class ProjectRowList;

    ProjectRowList *m_list;
    QStringList m_names;
    QString m_active;
    QSet<QString> m_busy;
    QList<ProjectEntry> m_known;
    QHash<QString, QString> m_paths; // alias -> path of its first entry
};

} // namespace dorv
