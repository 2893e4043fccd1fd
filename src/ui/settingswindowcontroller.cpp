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
    m_overwriteNext = false;

    auto window = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    window->setObjectName(QStringLiteral("projectEditorWindow"));
    window->setWindowTitle(QStringLiteral("DORV Projects"));
    window->setFixedSize(320, 360);
    NoFocusOnOpen::install(window.get());
    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    auto *view = new ProjectEditorView;
    layout->addWidget(view);
    m_view = view;

    connect(view, &ProjectEditorView::addRequested, this, &SettingsWindowController::addProject);
    connect(view, &ProjectEditorView::saveRequested, this, &SettingsWindowController::save);
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

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
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
    m_overwriteNext = false;
    m_view->revealLastOnNextShow();
    m_config->addProject(alias, path);
}

void SettingsWindowController::save()
{
    if (!m_view)
        return;
    // A Save right after the notice that the file changed on disk is the user's answer to it.
    const auto ifChanged = std::exchange(m_overwriteNext, false)
                               ? ProjectConfig::IfChangedOnDisk::Overwrite
                               : ProjectConfig::IfChangedOnDisk::Refuse;
    QString why;
    // Unless saved, the window stays open with the edits, so nothing is lost.
    switch (m_config->save(&why, ifChanged)) {
    case ProjectConfig::SaveResult::Saved:
        break;
    case ProjectConfig::SaveResult::ChangedOnDisk:
        qCInfo(lcConfig) << "the project list changed on disk since the editor read it";
        m_overwriteNext = true;
        m_view->showNotice(tr("The project list changed on disk since it was opened. "
                              "Save again to replace it with this list."));
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

} // namespace dorv
