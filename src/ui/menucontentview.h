#pragma once

#include "ui/shownstate.h"

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

// The panel that opens from the tray icon: the bridge's state, the active project, the bridge
// switch, the bridge's projects and the actions. A view: it draws the state it is handed and the
// project list it is given, refreshing at most once per event-loop pass, and emits what the
// user asked for; it acts on nothing itself. Its height follows its content, within a limit
// past which the projects scroll.
namespace dorv {

class Coalescer;

class ActionsSection;
class HeaderSection;
class ProjectCard;
class ProjectConfig;
class ProjectsSection;
class SwitchButton;

class MenuContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 260;

    // `config` gives the project directories shown under the bridge's projects.
    explicit MenuContentView(ProjectConfig *config, QWidget *parent = nullptr);

    int refreshCount() const { return m_refreshCount; }

    void showState(const ShownState &shown);
    // The tallest the panel may be (<= 0: no limit).
    void setMaximumPanelHeight(int height);
    // Brings the content up to date before the panel is sized and shown: aboutToAppear() lets
    // the owner reload the project list, then the state is drawn.
    void prepareToShow();
    // Draws the state now instead of at the next event-loop pass.
    void refresh();

Q_SIGNALS:
    void aboutToAppear();
    // Each time the panel is shown.
    void appeared();
    void switchFlipped(bool on);
    void projectChosen(const QString &name);
    void newSessionRequested();
    void configureRequested();
    void openLogsRequested();
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    void scheduleRefresh();
    void updateHeight();
    int contentHeight() const;
    QWidget *hint(const QString &name, const QString &text, const QFont &font, QMargins margins,
                  Qt::Alignment alignment);
    QWidget *toggleSection();
    QWidget *quitRow();

    ShownState m_shown;
    QPointer<ProjectConfig> m_config;
    bool m_prepared = false;
    bool m_fitting = false;
    int m_refreshCount = 0;
    int m_maxHeight = 0;
    Coalescer *m_refresh;

    QVBoxLayout *m_layout = nullptr;
    HeaderSection *m_header = nullptr;
    QWidget *m_connectingHint = nullptr;
    ProjectCard *m_card = nullptr;
    QWidget *m_cardDivider = nullptr;
    SwitchButton *m_switch = nullptr;
    QWidget *m_offlineHint = nullptr;
    QWidget *m_offlineDivider = nullptr;
    ProjectsSection *m_projects = nullptr;
    QWidget *m_projectsDivider = nullptr;
    ActionsSection *m_actions = nullptr;
};

} // namespace dorv
