#include "projecteditorview.h"

#include "projectconfig.h"
#include "projectlistformat.h"
#include "style.h"
#include "widgets.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
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

std::optional<QString> pickWithDialog(QWidget *parent)
{
    QFileDialog dialog(parent, QStringLiteral("Select a project directory"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    style::setText(label, font, color);
    return label;
}

PlainButton *symbolButton(const QString &name, int size, const QColor &color, QWidget *parent)
{
    auto *button = new PlainButton(parent);
    auto *layout = new QHBoxLayout(button);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *icon = new QLabel(button);
    icon->setPixmap(style::symbol(name, color, size, parent->devicePixelRatioF()));
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(icon);
    return button;
}

} // namespace

ProjectEditorView::ProjectEditorView(ProjectConfig *config, std::function<void()> onDismiss,
                                     QWidget *parent)
    : QWidget(parent), m_config(config), m_onDismiss(std::move(onDismiss))
{
    setObjectName(QStringLiteral("projectEditorView"));
    setMinimumSize(300, 200);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("editorHeader"));
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(16, 12, 16, 12);
    headerLayout->addWidget(makeLabel(tr("Projects"), style::font(13, QFont::DemiBold),
                                      style::level(Level::Primary), header));
    headerLayout->addStretch();
    auto *add = symbolButton(QStringLiteral("plus"), 14, style::color(Tint::Blue), header);
    add->setObjectName(QStringLiteral("addButton"));
    add->setAccessibleName(QStringLiteral("Add Project"));
    add->setToolTip(tr("Add a project directory"));
    connect(add, &PlainButton::clicked, this, &ProjectEditorView::addProject);
    headerLayout->addWidget(add);
    layout->addWidget(header);
    layout->addWidget(makeDivider(this));

    m_emptyNotice = new QWidget(this);
    m_emptyNotice->setObjectName(QStringLiteral("emptyNotice"));
    auto *empty = new QVBoxLayout(m_emptyNotice);
    empty->setContentsMargins(0, 24, 0, 24);
    empty->setSpacing(8);
    auto *folder = new QLabel(m_emptyNotice);
    folder->setPixmap(style::symbol(QStringLiteral("folder.badge.plus"),
                                    style::level(Level::Tertiary), 24, devicePixelRatioF()));
    empty->addWidget(folder, 0, Qt::AlignHCenter);
    empty->addWidget(makeLabel(tr("No projects configured"), style::font(12),
                               style::level(Level::Secondary), m_emptyNotice),
                     0, Qt::AlignHCenter);
    empty->addWidget(makeLabel(tr("Click + to add a project directory"), style::font(11),
                               style::level(Level::Tertiary), m_emptyNotice),
                     0, Qt::AlignHCenter);
    layout->addWidget(m_emptyNotice);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("projectList"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *list = new QWidget(m_scroll);
    m_rows = new QVBoxLayout(list);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(0);
    m_rows->addStretch();
    m_scroll->setWidget(list);
    layout->addWidget(m_scroll, 1);
    layout->addStretch(0);

    layout->addWidget(makeDivider(this));
    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("editorFooter"));
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(16, 10, 16, 10);
    m_notice = new ElidedLabel(footer);
    m_notice->setObjectName(QStringLiteral("notice"));
    style::setText(m_notice, style::font(11), style::color(Tint::Red));
    footerLayout->addWidget(m_notice, 1);
    auto *saveButton = new QPushButton(tr("Save"), footer);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setDefault(true);
    saveButton->setAutoDefault(true);
    // The filled accent button of a window's main action, at the small control size.
    saveButton->setFont(style::font(12));
    saveButton->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                       " border-radius: 5px; padding: 3px 14px; }"
                       "QPushButton:pressed { background: %2; }")
            .arg(style::color(Tint::Blue).name(), style::color(Tint::Blue).darker(120).name()));
    connect(saveButton, &QPushButton::clicked, this, &ProjectEditorView::save);
    footerLayout->addWidget(saveButton);
    layout->addWidget(footer);

    connect(config, &ProjectConfig::changed, this, &ProjectEditorView::scheduleRefresh);
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

QString ProjectEditorView::notice() const
{
    return m_notice->fullText();
}

void ProjectEditorView::showNotice(const QString &text)
{
    m_notice->setFullText(text);
}

void ProjectEditorView::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &ProjectEditorView::refresh, Qt::QueuedConnection);
}

void ProjectEditorView::refresh()
{
    m_refreshPending = false;
    if (!m_config)
        return;
    const QList<ProjectEntry> &entries = m_config->projects();
    m_emptyNotice->setVisible(entries.isEmpty());
    m_scroll->setVisible(!entries.isEmpty());
    while (m_rows->count() > 1) {
        QLayoutItem *item = m_rows->takeAt(0);
        delete item->widget();
        delete item;
    }
    auto add = [this](QWidget *widget) {
        m_rows->insertWidget(m_rows->count() - 1, widget);
        widget->show(); // at once, not on the next pass
    };
    for (qsizetype i = 0; i < entries.size(); ++i) {
        add(projectRow(entries[i]));
        if (entries[i].id != entries.last().id)
            add(makeDivider(m_scroll->widget(), 40));
    }
}

QWidget *ProjectEditorView::projectRow(const ProjectEntry &entry)
{
    auto *row = new QWidget(m_scroll->widget());
    row->setObjectName(QStringLiteral("editorRow"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 8, 16, 8);
    layout->setSpacing(8);

    auto *star = symbolButton(
        entry.isDefault ? QStringLiteral("star.fill") : QStringLiteral("star"), 11,
        entry.isDefault ? style::color(Tint::Orange) : style::level(Level::Secondary), row);
    star->setObjectName(QStringLiteral("starButton"));
    star->setAccessibleName(tr("Make %1 the default").arg(entry.alias));
    star->setCheckable(true);
    star->setChecked(entry.isDefault);
    star->setToolTip(tr("Make default"));
    star->setContentsMargins(0, 3, 0, 0);
    QPointer<ProjectConfig> config = m_config;
    connect(star, &PlainButton::clicked, this, [config, entry] {
        if (config)
            config->setDefault(entry);
    });
    layout->addWidget(star, 0, Qt::AlignTop);

    auto *column = new QVBoxLayout;
    column->setSpacing(1);
    auto *alias = new WrapLabel(row);
    alias->setObjectName(QStringLiteral("alias"));
    alias->setFont(style::font(13, QFont::Medium));
    alias->setColor(style::level(Level::Primary));
    alias->setText(entry.alias);
    column->addWidget(alias);
    auto *path = new ElidedLabel(row);
    path->setObjectName(QStringLiteral("path"));
    style::setText(path, style::font(10), style::level(Level::Tertiary));
    path->setFullText(entry.path);
    column->addWidget(path);
    layout->addLayout(column, 1);

    auto *del = symbolButton(QStringLiteral("xmark"), 10, style::color(Tint::Red), row);
    del->setObjectName(QStringLiteral("deleteButton"));
    del->setAccessibleName(tr("Remove %1").arg(entry.alias));
    del->setToolTip(tr("Remove"));
    del->setContentsMargins(0, 3, 0, 0);
    connect(del, &PlainButton::clicked, this, [this, entry] { remove(entry); });
    layout->addWidget(del, 0, Qt::AlignTop);
    return row;
}

void ProjectEditorView::remove(const ProjectEntry &entry)
{
    if (!m_config)
        return;
    const QList<ProjectEntry> &entries = m_config->projects();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].id == entry.id) {
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
    const std::optional<QString> picked = picker ? picker(this) : pickWithDialog(this);
    if (!picked || picked->isEmpty())
        return;
    QString path = QDir::cleanPath(*picked);
    const QString alias = aliasForFolder(path);
    const QString problem = projectlist::entryProblem(alias, path);
    if (!problem.isEmpty()) {
        showNotice(tr("Can't add this folder: %1.").arg(problem));
        return;
    }
    showNotice(QString());
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
