#include "ui/settingswindowcontroller.h"

#include "common/logging.h"
#include "config/projectconfig.h"
#include "config/projectlistformat.h"
#include "ui/projecteditorview.h"
#include "ui/widgets/nofocusonopen.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace dorv {

namespace {
// Room kept for the window's frame and title bar, which the window system adds after the window
// is shown.
const QMargins kFrameRoom(8, 40, 8, 8);

std::optional<QString> pickWithDialog(QWidget *parent, const QString &start)
{
    QFileDialog dialog(parent, QStringLiteral("Select a project directory"), start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
} // namespace

SettingsWindowController::SettingsWindowController(ProjectConfig *config, FolderPicker picker,
                                                   QObject *parent)
    : QObject(parent), m_config(config), m_picker(picker ? std::move(picker) : pickWithDialog)
{
}

SettingsWindowController::~SettingsWindowController() = default;

QString SettingsWindowController::aliasForFolder(const QString &path)
{
    QString name = QDir(path).dirName().toLower();
    name.replace(u' ', u'-');
    // The file format cannot hold a colon in an alias.
    name.replace(u':', u'-');
    return name;
}

void SettingsWindowController::open()
{
    if (m_window && m_window->isVisible()) {
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    m_config->load();

    auto window = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    window->setObjectName(QStringLiteral("projectEditorWindow"));
    window->setWindowTitle(QStringLiteral("DORV Projects"));
    // Where the screen has less room (a small screen at 2x), the window shrinks and the list
    // scrolls.
    QRect room(0, 0, 320, 360);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        room = screen->availableGeometry().marginsRemoved(kFrameRoom);
    window->setFixedSize(QSize(320, 360).boundedTo(room.size()));
    NoFocusOnOpen::install(window.get());
    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    auto *view = new ProjectEditorView;
    layout->addWidget(view);
    m_view = view;

    connect(view, &ProjectEditorView::addRequested, this, &SettingsWindowController::addProject);
    connect(view, &ProjectEditorView::saveRequested, this,
            [this] { save(ProjectConfig::IfChangedOnDisk::Refuse); });
    connect(view, &ProjectEditorView::replaceRequested, this,
            [this] { save(ProjectConfig::IfChangedOnDisk::Overwrite); });
    connect(view, &ProjectEditorView::reloadRequested, this, &SettingsWindowController::reload);
    connect(view, &ProjectEditorView::closeRequested, window.get(), &QWidget::close);
    connect(view, &ProjectEditorView::defaultRequested, m_config, [this](const QUuid &id) {
        m_config->setDefault(ProjectEntry{id, {}, {}, false});
    });
    connect(view, &ProjectEditorView::removeRequested, m_config, [this](const QUuid &id) {
        const QList<ProjectEntry> &entries = m_config->projects();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (entries[i].id == id) {
                m_config->removeProject({i});
                return;
            }
        }
    });
    connect(m_config, &ProjectConfig::changed, view,
            [this, view] { view->showEntries(m_config->projects()); });
    view->showEntries(m_config->projects());

    QRect frame(QPoint(), window->size());
    frame.moveCenter(room.center());
    window->move(frame.topLeft());
    window->show();
    window->raise();
    window->activateWindow();
    m_window = std::move(window); // the previous window, if any, is dropped
}

void SettingsWindowController::addProject()
{
    if (!m_view)
        return;
    const std::optional<QString> picked = m_picker(m_view, QDir::homePath());
    if (!picked || picked->isEmpty() || !m_view)
        return;
    const QString path = QDir::cleanPath(*picked);
    const QString alias = aliasForFolder(path);
    const QString problem = projectlist::entryProblem(alias, path);
    if (!problem.isEmpty()) {
        m_view->showNotice(tr("Can't add this folder: %1.").arg(problem));
        return;
    }
    m_view->showNotice(QString());
    m_view->revealLastOnNextShow();
    m_config->addProject(alias, path);
}

void SettingsWindowController::save(ProjectConfig::IfChangedOnDisk ifChanged)
{
    if (!m_view)
        return;
    QString why;
    // Unless saved, the window stays open with the edits, so nothing is lost.
    switch (m_config->save(&why, ifChanged)) {
    case ProjectConfig::SaveResult::Saved:
        break;
    case ProjectConfig::SaveResult::ChangedOnDisk:
        qCInfo(lcConfig) << "the project list changed on disk since the editor read it";
        m_view->offerReloadOrReplace(
            tr("Another program changed the project list since this window read it. Reload "
               "shows the file's list and drops the changes made here; Replace saves this list "
               "over the file and drops the other program's changes."));
        return;
    case ProjectConfig::SaveResult::Failed:
        qCWarning(lcConfig).noquote() << "the project list was not saved:" << why;
        m_view->showNotice(tr("Could not save the project list: %1").arg(why));
        return;
    }
    m_view->showNotice(QString());
    if (m_window)
        m_window->close();
}

void SettingsWindowController::reload()
{
    QString why;
    if (m_view && !m_config->tryLoad(&why))
        m_view->showNotice(tr("Could not read the project list: %1").arg(why));
}

} // namespace dorv
