#include "ui/projecteditorview.h"

#include "config/projectconfig.h"
#include "config/projectlistformat.h"
#include "ui/projectlistview.h"
#include "ui/style.h"
#include "ui/uikit.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/wraplabel.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace dorv {

using style::Level;
using style::Tint;

namespace {

ProjectEditorView::FolderPicker &folderPicker()
{
    static ProjectEditorView::FolderPicker picker;
    return picker;
}

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

ProjectEditorView::ProjectEditorView(ProjectConfig *config, std::function<void()> onDismiss,
                                     QWidget *parent)
    : QWidget(parent), m_config(config), m_onDismiss(std::move(onDismiss)),
      m_refresh(new uikit::Coalescer(this, [this] { refresh(); }))
{
    setObjectName(QStringLiteral("projectEditorView"));
    setMinimumSize(300, 200);
    auto *layout = uikit::vbox(this, 0);

    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("editorHeader"));
    // The + keeps room around it for the focus ring, inside the header's padding.
    auto *headerLayout =
        uikit::hbox(header, style::kDefaultSpacing, {16, 0, 16 - uikit::kRingRoom, 0});
    auto *title = uikit::makeLabel(tr("Projects"), style::font(13, QFont::DemiBold),
                                   style::level(Level::Primary), header);
    headerLayout->addWidget(title);
    header->setFixedHeight(qMax(title->sizeHint().height(), title->minimumHeight()) + 2 * 12);
    headerLayout->addStretch();
    auto *add = uikit::symbolButton(QStringLiteral("plus"), 14, style::color(Tint::Blue), header);
    add->setObjectName(QStringLiteral("addButton"));
    add->setAccessibleName(tr("Add Project"));
    add->setToolTip(tr("Add a project directory"));
    connect(add, &PlainButton::clicked, this, &ProjectEditorView::addProject);
    headerLayout->addWidget(add);
    layout->addWidget(header);
    layout->addWidget(uikit::makeDivider(this));

    m_emptyNotice = new QWidget(this);
    m_emptyNotice->setObjectName(QStringLiteral("emptyNotice"));
    auto *empty = uikit::vbox(m_emptyNotice, 8, {0, 24, 0, 24});
    auto *folder = new QLabel(m_emptyNotice);
    folder->setPixmap(style::symbol(QStringLiteral("folder.badge.plus"),
                                    style::level(Level::Tertiary), 24, devicePixelRatioF()));
    empty->addWidget(folder, 0, Qt::AlignHCenter);
    empty->addWidget(uikit::makeLabel(tr("No projects configured"), style::font(12),
                                      style::level(Level::Secondary), m_emptyNotice),
                     0, Qt::AlignHCenter);
    empty->addWidget(uikit::makeLabel(tr("Click + to add a project directory"), style::font(11),
                                      style::level(Level::Tertiary), m_emptyNotice),
                     0, Qt::AlignHCenter);
    layout->addWidget(m_emptyNotice);

    m_list = new ProjectListView(this);
    connect(m_list, &ProjectListView::defaultRequested, this, [this](QUuid id) {
        if (!m_config)
            return;
        for (const ProjectEntry &entry : m_config->projects()) {
            if (entry.id == id) {
                m_config->setDefault(entry);
                return;
            }
        }
    });
    connect(m_list, &ProjectListView::removeRequested, this, &ProjectEditorView::remove);
    layout->addWidget(m_list, 1);
    layout->addStretch(0);

    layout->addWidget(uikit::makeDivider(this));
    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("editorFooter"));
    auto *footerLayout = uikit::vbox(footer, 6, {16, 10, 16, 10});
    // A refused folder or a failed save, in full: the user must be able to read why.
    m_notice = new WrapLabel(footer);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setFont(style::font(11));
    m_notice->setColor(style::color(Tint::Red));
    m_notice->hide();
    footerLayout->addWidget(m_notice);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *saveButton = new QPushButton(tr("Save"), footer);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    // The filled accent button of a window's main action, at the small control size.
    saveButton->setFont(style::font(12));
    saveButton->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                       " border-radius: 5px; padding: 3px 14px; }"
                       "QPushButton:pressed { background: %2; }"
                       "QPushButton:focus { outline: none; border: 2px solid %3; }")
            .arg(style::color(Tint::Blue).name(), style::color(Tint::Blue).darker(120).name(),
                 style::color(Tint::Blue).lighter(160).name()));
    connect(saveButton, &QPushButton::clicked, this, &ProjectEditorView::save);
    buttons->addWidget(saveButton);
    footerLayout->addLayout(buttons);
    layout->addWidget(footer);

    // Wherever the focus is in the window: Return saves, Escape closes without saving.
    for (int key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                &ProjectEditorView::save);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { window()->close(); });

    connect(config, &ProjectConfig::changed, m_refresh, &uikit::Coalescer::request);
    refresh();
}

void ProjectEditorView::setFolderPicker(FolderPicker picker)
{
    folderPicker() = std::move(picker);
}

QString ProjectEditorView::aliasForFolder(const QString &path)
{
    QString name = QDir(path).dirName().toLower();
    name.replace(u' ', u'-');
    // The file format cannot hold a colon in an alias.
    name.replace(u':', u'-');
    return name;
}

void ProjectEditorView::showNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void ProjectEditorView::refresh()
{
    m_refresh->cancel();
    if (!m_config)
        return;
    const QList<ProjectEntry> &entries = m_config->projects();
    // Rows first: the list keeps the focus on the row it was on, or hands it on when it empties.
    m_list->showEntries(entries);
    m_emptyNotice->setVisible(entries.isEmpty());
    m_list->setVisible(!entries.isEmpty());
    if (m_revealLast && !entries.isEmpty())
        m_list->revealRow(int(entries.size()) -
                          1); // a project added to a long list comes into view
    m_revealLast = false;
}

void ProjectEditorView::remove(QUuid id)
{
    if (!m_config)
        return;
    const QList<ProjectEntry> &entries = m_config->projects();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].id == id) {
            m_config->removeProject({i});
            return;
        }
    }
}

void ProjectEditorView::addProject()
{
    if (!m_config)
        return;
    const FolderPicker &picker = folderPicker();
    const QString start = QDir::homePath();
    const std::optional<QString> picked =
        picker ? picker(this, start) : pickWithDialog(this, start);
    if (!picked || picked->isEmpty())
        return;
    const QString path = QDir::cleanPath(*picked);
    const QString alias = aliasForFolder(path);
    const QString problem = projectlist::entryProblem(alias, path);
    if (!problem.isEmpty()) {
        showNotice(tr("Can't add this folder: %1.").arg(problem));
        return;
    }
    showNotice(QString());
    m_revealLast = true;
    m_config->addProject(alias, path);
}

void ProjectEditorView::save()
{
    if (!m_config)
        return;
    QString why;
    if (!m_config->save(&why)) {
        // The window stays open with the edits, so nothing is lost.
        showNotice(tr("Could not save the project list: %1").arg(why));
        return;
    }
    showNotice(QString());
    if (m_onDismiss)
        m_onDismiss();
}

} // namespace dorv
