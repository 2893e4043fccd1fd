#pragma once

#include <QPointer>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

// The bridge's projects: a heading and one row per alias; pressing a row asks to switch the
// bridge to it. The rows scroll when the panel cannot show them all.
namespace dorv {

struct ProjectEntry;

class ProjectsSection : public QWidget {
    Q_OBJECT
public:
    explicit ProjectsSection(QWidget *parent = nullptr);

    // Shows `names` in order, marking `active`; under each name the path of the first entry of
    // `known` with that alias. Rows are rebuilt only when something shown has changed.
    void showProjects(const QStringList &names, const QString &active,
                      const QList<ProjectEntry> &known);
    // Shows the rows at `width` in at most `limit` height (all of them when limit < 0).
    void fitRows(int width, int limit);
    // Scrolls the active project's row into view.
    void revealActive();
    int rowsHeight() const;
    QList<QWidget *> rows() const;

Q_SIGNALS:
    void projectChosen(const QString &name);

private:
    QWidget *projectRow(const QString &name, const QString &path, bool active);

    QScrollArea *m_scroll;
    QWidget *m_list;
    QVBoxLayout *m_rows;
    QString m_key;
    QPointer<QWidget> m_active;
};

} // namespace dorv
