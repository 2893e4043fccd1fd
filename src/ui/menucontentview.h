#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// The panel that opens from the tray icon: the bridge's state, the active project, the bridge
// switch, the bridge's projects and the actions. A function of the models: it observes them and
// refreshes at most once per event-loop pass.
namespace dorv {

class BridgeStatus;
class ContextBar;
class Dot;
class ElidedLabel;
class FilledFrame;
class PlainButton;
class ProjectConfig;
class Spinner;
class SwitchButton;
class WrapLabel;

class MenuContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 260;

    explicit MenuContentView(BridgeStatus *status, QWidget *parent = nullptr);

    ProjectConfig *config() const { return m_config; }
    bool agentLoaded() const { return m_agentLoaded; }
    int refreshCount() const { return m_refreshCount; }

    // Applies the models now instead of at the next event-loop pass.
    void refresh();

    // The percentage text for a context value: truncated toward zero, never garbled.
    static QString percentText(double pct);

Q_SIGNALS:
    // Each time the panel is shown.
    void appeared();

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    void scheduleRefresh();
    void updateHeight();
    QWidget *headerSection();
    QWidget *connectingHint();
    QWidget *projectCard();
    QWidget *toggleSection();
    QWidget *offlineHint();
    QWidget *projectsSection();
    QWidget *actionsSection();
    QWidget *quitRow();
    PlainButton *menuItem(const QString &icon, const QString &title, std::function<void()> action);
    QWidget *projectRow(const QString &name);
    void onSwitchFlipped(bool on);
    void rebuildProjectRows();

    QPointer<BridgeStatus> m_status;
    ProjectConfig *m_config;
    bool m_agentLoaded;
    bool m_refreshPending = false;
    bool m_stale = false; // models changed while the panel was hidden
    int m_refreshCount = 0;
    QString m_projectRowsKey;

    QVBoxLayout *m_layout = nullptr;
    FilledFrame *m_badge = nullptr;
    Dot *m_dot = nullptr;
    QLabel *m_stateLabel = nullptr;
    QWidget *m_connectingHint = nullptr;
    QWidget *m_card = nullptr;
    QWidget *m_cardDivider = nullptr;
    WrapLabel *m_projectName = nullptr;
    QWidget *m_busy = nullptr;
    QLabel *m_idle = nullptr;
    QWidget *m_contextLine = nullptr;
    ContextBar *m_contextBar = nullptr;
    QLabel *m_percent = nullptr;
    QLabel *m_queue = nullptr;
    SwitchButton *m_switch = nullptr;
    QWidget *m_offlineHint = nullptr;
    QWidget *m_offlineDivider = nullptr;
    QWidget *m_projects = nullptr;
    QVBoxLayout *m_projectRows = nullptr;
    QWidget *m_projectsDivider = nullptr;
    PlainButton *m_newSession = nullptr;
};

} // namespace dorv
