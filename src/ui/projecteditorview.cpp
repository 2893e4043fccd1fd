#include "ui/projecteditorview.h"

#include "common/coalescer.h"
#include "ui/helpers.h"
#include "ui/projectlistview.h"
#include "ui/style.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/wraplabel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace dorv {

using style::Level;
using style::Tint;

ProjectEditorView::ProjectEditorView(QWidget *parent)
    : QWidget(parent), m_refresh(new Coalescer(this, [this] { rebuild(); }))
{
    setObjectName(QStringLiteral("projectEditorView"));
    auto *layout = helpers::vbox(this, 0);

    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("editorHeader"));
    // The + keeps room around it for the focus ring, inside the header's padding.
    auto *headerLayout =
        helpers::hbox(header, style::kDefaultSpacing, {16, 0, 16 - helpers::kRingRoom, 0});
    auto *title = helpers::makeLabel(tr("Projects"), style::font(13, QFont::DemiBold),
                                     style::level(Level::Primary), header);
    headerLayout->addWidget(title);
    header->setFixedHeight(qMax(title->sizeHint().height(), title->minimumHeight()) + 2 * 12);
    headerLayout->addStretch();
    auto *add = helpers::symbolButton(QStringLiteral("plus"), 14, style::color(Tint::Blue), header);
    add->setObjectName(QStringLiteral("addButton"));
    add->setAccessibleName(tr("Add Project"));
    add->setToolTip(tr("Add a project directory"));
    connect(add, &PlainButton::clicked, this, &ProjectEditorView::addRequested);
    headerLayout->addWidget(add, 0, Qt::AlignVCenter);
    layout->addWidget(header);
    layout->addWidget(helpers::makeDivider(this));

    m_emptyNotice = new QWidget(this);
    m_emptyNotice->setObjectName(QStringLiteral("emptyNotice"));
    auto *empty = helpers::vbox(m_emptyNotice, 8, {0, 24, 0, 24});
    empty->addWidget(helpers::symbolLabel(QStringLiteral("folder.badge.plus"), 24,
                                          style::level(Level::Tertiary), m_emptyNotice),
                     0, Qt::AlignHCenter);
    empty->addWidget(helpers::makeLabel(tr("No projects configured"), style::font(12),
                                        style::level(Level::Secondary), m_emptyNotice),
                     0, Qt::AlignHCenter);
    empty->addWidget(helpers::makeLabel(tr("Click + to add a project directory"), style::font(11),
                                        style::level(Level::Tertiary), m_emptyNotice),
                     0, Qt::AlignHCenter);
    layout->addWidget(m_emptyNotice);

    m_list = new ProjectListView(this);
    connect(m_list, &ProjectListView::defaultRequested, this, &ProjectEditorView::defaultRequested);
    connect(m_list, &ProjectListView::removeRequested, this, &ProjectEditorView::removeRequested);
    layout->addWidget(m_list, 1);
    layout->addStretch(0);

    layout->addWidget(helpers::makeDivider(this));
    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("editorFooter"));
    auto *footerLayout = helpers::vbox(footer, 6, {16, 10, 16, 10});
    // A refused folder or a failed save, in full: the user must be able to read why.
    m_notice = new WrapLabel(footer);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setFont(style::font(11));
    m_notice->setColor(style::color(Tint::Red));
    m_notice->hide();
    footerLayout->addWidget(m_notice);
    auto *buttons = new QHBoxLayout;
    m_choice = new QWidget(footer);
    auto *choice = helpers::hbox(m_choice, style::kDefaultSpacing);
    for (auto [text, request] : {std::pair(tr("Reload"), &ProjectEditorView::reloadRequested),
                                 std::pair(tr("Replace"), &ProjectEditorView::replaceRequested)}) {
        auto *button = new QPushButton(text, m_choice);
        button->setFocusPolicy(Qt::TabFocus);
        button->setFont(style::font(12));
        connect(button, &QPushButton::clicked, this, request);
        choice->addWidget(button);
    }
    m_choice->hide();
    buttons->addWidget(m_choice);
    buttons->addStretch();
    auto *saveButton = new QPushButton(tr("Save"), footer);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    // Focus from the keyboard only: a click leaves no focus border behind.
    saveButton->setFocusPolicy(Qt::TabFocus);
    saveButton->setFont(style::font(12));
    style::makeProminent(saveButton);
    connect(saveButton, &QPushButton::clicked, this, &ProjectEditorView::saveRequested);
    buttons->addWidget(saveButton);
    footerLayout->addLayout(buttons);
    layout->addWidget(footer);

    // Return presses the button the user sees focused; with none, it saves. A button focused by
    // a click shows no ring, so it counts as none.
    for (int key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, [this] {
            auto *button = qobject_cast<QAbstractButton *>(QApplication::focusWidget());
            auto *ours = qobject_cast<FocusButton *>(button);
            if (button && isAncestorOf(button) && (!ours || ours->showsKeyboardFocus()))
                button->click();
            else
                Q_EMIT saveRequested();
        });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &ProjectEditorView::closeRequested);
    rebuild();
}

void ProjectEditorView::showEntries(const QList<ProjectEntry> &entries)
{
    m_entries = entries;
    m_refresh->request();
    if (!m_choice->isHidden()) // the choice was about the list before this change
        showNotice(QString());
}

void ProjectEditorView::showNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
    m_choice->hide();
}

void ProjectEditorView::offerReloadOrReplace(const QString &text)
{
    showNotice(text);
    m_choice->show();
}

void ProjectEditorView::rebuild()
{
    m_refresh->cancel();
    const QList<ProjectEntry> &entries = m_entries;
    // Rows first: the list keeps the focus on the row it was on, or hands it on when it empties.
    m_list->showEntries(entries);
    m_emptyNotice->setVisible(entries.isEmpty());
    m_list->setVisible(!entries.isEmpty());
    if (m_revealLast && !entries.isEmpty())
        m_list->revealRow(int(entries.size()) -
                          1); // a project added to a long list comes into view
    m_revealLast = false;
}

} // namespace dorv
