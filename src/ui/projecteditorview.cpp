#include "ui/projecteditorview.h"

#include "ui/style.h"
#include "ui/uikit.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/wraplabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace dorv {

using style::Level;
using style::Tint;

namespace {

PlainButton *symbolButton(const QString &name, int size, const QColor &color, QWidget *parent)
{
    auto *button = new PlainButton(parent);
    auto *layout = uikit::hbox(button, 0);
    auto *icon = new QLabel(button);
    icon->setPixmap(style::symbol(name, color, size, parent->devicePixelRatioF()));
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(icon);
    return button;
}

} // namespace

ProjectEditorView::ProjectEditorView(QWidget *parent)
    : QWidget(parent), m_refresh(new uikit::Coalescer(this, [this] { rebuild(); }))
{
    setObjectName(QStringLiteral("projectEditorView"));
    setMinimumSize(300, 200);
    auto *layout = uikit::vbox(this, 0);

    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("editorHeader"));
    auto *headerLayout = uikit::hbox(header, style::kDefaultSpacing, {16, 12, 16, 12});
    headerLayout->addWidget(uikit::makeLabel(tr("Projects"), style::font(13, QFont::DemiBold),
                                             style::level(Level::Primary), header));
    headerLayout->addStretch();
    auto *add = symbolButton(QStringLiteral("plus"), 14, style::color(Tint::Blue), header);
    add->setObjectName(QStringLiteral("addButton"));
    add->setAccessibleName(tr("Add Project"));
    add->setToolTip(tr("Add a project directory"));
    connect(add, &PlainButton::clicked, this, &ProjectEditorView::addRequested);
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

    m_scroll = uikit::makeScrollingColumn(this, QStringLiteral("projectList"), &m_rows);
    m_rows->addStretch();
    layout->addWidget(m_scroll, 1);
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
    // Focus from the keyboard only: a click leaves no focus border behind.
    saveButton->setFocusPolicy(Qt::TabFocus);
    // The filled accent button of a window's main action, at the small control size.
    saveButton->setFont(style::font(12));
    style::makeProminent(saveButton);
    connect(saveButton, &QPushButton::clicked, this, &ProjectEditorView::saveRequested);
    buttons->addWidget(saveButton);
    footerLayout->addLayout(buttons);
    layout->addWidget(footer);

    // Wherever the focus is in the window: Return saves, Escape closes without saving.
    for (int key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                &ProjectEditorView::saveRequested);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &ProjectEditorView::closeRequested);
    rebuild();
}

void ProjectEditorView::showEntries(const QList<ProjectEntry> &entries)
{
    m_entries = entries;
    m_refresh->request();
}

void ProjectEditorView::showNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void ProjectEditorView::rebuild()
{
    m_refresh->cancel();
    const QList<ProjectEntry> &entries = m_entries;
    m_emptyNotice->setVisible(entries.isEmpty());
    m_scroll->setVisible(!entries.isEmpty());
    uikit::clearLayout(m_rows);
    m_rows->addStretch();
    QWidget *last = nullptr;
    auto add = [this](QWidget *widget) {
        m_rows->insertWidget(m_rows->count() - 1, widget);
        widget->show(); // at once, not on the next pass
        return widget;
    };
    for (const ProjectEntry &entry : entries) {
        last = add(projectRow(entry));
        if (entry.id != entries.last().id)
            add(uikit::makeDivider(m_scroll->widget(), 40));
    }
    if (m_revealLast && last) {
        // A project added to a long list comes into view.
        m_scroll->widget()->adjustSize();
        m_scroll->ensureWidgetVisible(last, 0, 0);
        m_scroll->verticalScrollBar()->setValue(m_scroll->verticalScrollBar()->maximum());
    }
    m_revealLast = false;
}

QWidget *ProjectEditorView::projectRow(const ProjectEntry &entry)
{
    auto *row = new QWidget(m_scroll->widget());
    row->setObjectName(QStringLiteral("editorRow"));
    auto *layout = uikit::hbox(row, 8, {16, 8, 16, 8});

    auto *star = symbolButton(
        entry.isDefault ? QStringLiteral("star.fill") : QStringLiteral("star"), 11,
        entry.isDefault ? style::color(Tint::Orange) : style::level(Level::Secondary), row);
    star->setObjectName(QStringLiteral("starButton"));
    star->setAccessibleName(tr("Make %1 the default").arg(entry.alias));
    star->setCheckable(true);
    star->setChecked(entry.isDefault);
    star->setToolTip(tr("Make default"));
    star->setContentsMargins(0, 3, 0, 0);
    // toggled, not clicked: a screen reader's toggle action emits only this. Pressing the star
    // of the default entry unticks it, and still asks to make that entry the only default.
    const QUuid id = entry.id;
    connect(star, &PlainButton::toggled, this, [this, id] { Q_EMIT defaultRequested(id); });
    layout->addWidget(star, 0, Qt::AlignTop);

    layout->addLayout(uikit::nameOverPath(row, entry.alias, style::font(13, QFont::Medium),
                                          entry.path.isNull() ? QStringLiteral("") : entry.path,
                                          QStringLiteral("alias"), QStringLiteral("path")),
                      1);

    auto *del = symbolButton(QStringLiteral("xmark"), 10, style::color(Tint::Red), row);
    del->setObjectName(QStringLiteral("deleteButton"));
    del->setAccessibleName(tr("Remove %1").arg(entry.alias));
    del->setToolTip(tr("Remove"));
    del->setContentsMargins(0, 3, 0, 0);
    connect(del, &PlainButton::clicked, this, [this, id] { Q_EMIT removeRequested(id); });
    layout->addWidget(del, 0, Qt::AlignTop);
    return row;
}

} // namespace dorv
