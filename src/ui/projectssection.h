#pragma once

#include <QPointer>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

// The bridge's projects: a heading and one row per alias, each switching the bridge to it. The
// rows scroll when the panel cannot show them all.
namespace dorv {

class BridgeStatus;
class ProjectConfig;

class ProjectsSection : public QWidget {
    Q_OBJECT
public:
    explicit ProjectsSection(BridgeStatus *status, QWidget *parent = nullptr);

    // Rebuilds the rows when the aliases, the active one or the known paths have changed.
    void update(const BridgeStatus &status, const ProjectConfig &config);
    // Shows the rows at `width` in at most `limit` height (all of them when limit < 0).
    void fitRows(int width, int limit);
    // Scrolls the active project's row into view.
    void revealActive();
    int rowsHeight() const;
    QList<QWidget *> rows() const;

private:
    QWidget *projectRow(const QString &name, const QString &path, bool active);

    QPointer<BridgeStatus> m_status;
    QScrollArea *m_scroll;
    QWidget *m_list;
    QVBoxLayout *m_rows;
    QString m_key;
    QPointer<QWidget> m_active;
};

} // namespace dorv
