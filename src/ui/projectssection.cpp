#include "ui/projectssection.h"

#include "config/projectentry.h"
#include "ui/style.h"
#include "ui/uikit.h"
#include "ui/widgets/plainbutton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace dorv {

using style::Level;

// However little room the screen leaves, about two rows stay visible.
constexpr int kMinimumRowsHeight = 56;

ProjectsSection::ProjectsSection(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("projectsSection"));
    auto *layout = uikit::vbox(this, 0, {0, 0, 0, 4});
    auto *heading = uikit::makeLabel(QStringLiteral("PROJECTS"), style::font(11, QFont::DemiBold),
                                     style::level(Level::Tertiary), this);
    QFont font = heading->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    heading->setFont(font);
    heading->setContentsMargins(14, 6, 14, 4);
    heading->setMinimumHeight(uikit::lineHeight(font) + 10);
    layout->addWidget(heading);

    m_scroll = uikit::makeScrollingColumn(this, QStringLiteral("projectRows"), &m_rows);
    m_list = m_scroll->widget();
    // A slim bar that leaves the rows their width, as an overlay scroller does.
    m_scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 8px; background: transparent; margin: 2px; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 2px;"
                       " min-height: 24px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(style::level(Level::Tertiary).name(QColor::HexArgb)));
    m_scroll->setFixedHeight(0); // its height is always the one fitRows() gave it
    layout->addWidget(m_scroll);
}

void ProjectsSection::showProjects(const QStringList &names, const QString &active,
                                   const QList<ProjectEntry> &known)
{
    QList<std::pair<QString, QString>> rows; // alias, path (null: none known)
    QString key = active + u'\n';
    for (const QString &name : names) {
        QString path;
        for (const ProjectEntry &entry : known) {
            if (entry.alias == name) {
                path = entry.path.isNull() ? QStringLiteral("") : entry.path;
                break;
            }
        }
        rows.append({name, path});
        key += name + u'\t' + (path.isNull() ? QStringLiteral("\x01") : path) + u'\n';
    }
    if (key == m_key)
        return;
    m_key = key;
    uikit::clearLayout(m_rows);
    m_active = nullptr;
    for (const auto &[name, path] : rows) {
        QWidget *row = projectRow(name, path, name == active);
        m_rows->addWidget(row);
        row->show(); // at once, so the height is right in this pass
        if (name == active && !m_active)
            m_active = row;
    }
}

void ProjectsSection::revealActive()
{
    if (m_active)
        m_scroll->ensureWidgetVisible(m_active, 0, 0);
}

int ProjectsSection::rowsHeight() const
{
    return m_scroll->height();
}

void ProjectsSection::fitRows(int width, int limit)
{
    const int full = qMax(0, m_rows->totalHeightForWidth(width));
    const int shown = limit < 0 ? full : qMin(full, qMax(limit, kMinimumRowsHeight));
    if (m_scroll->height() == shown && m_scroll->minimumHeight() == shown)
        return;
    m_scroll->setFixedHeight(shown);
    layout()->invalidate();
    updateGeometry();
}

QList<QWidget *> ProjectsSection::rows() const
{
    QList<QWidget *> list;
    for (int i = 0; i < m_rows->count(); ++i)
        list.append(m_rows->itemAt(i)->widget());
    return list;
}

QWidget *ProjectsSection::projectRow(const QString &name, const QString &path, bool active)
{
    auto *row = new PlainButton(m_list);
    row->setObjectName(QStringLiteral("projectRow"));
    row->setAccessibleName(name);
    if (active)
        row->setAccessibleDescription(QStringLiteral("Active project"));
    auto *layout = uikit::hbox(row, 8, {14, 4, 14, 4});

    // The slot keeps its width without a check mark, so every name starts at the same place.
    auto *check = new QLabel(row);
    check->setObjectName(QStringLiteral("checkmark"));
    check->setFixedWidth(14);
    check->setContentsMargins(0, 2, 0, 0);
    check->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    check->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (active)
        check->setPixmap(style::symbol(QStringLiteral("checkmark"), style::color(style::Tint::Blue),
                                       10, devicePixelRatioF()));
    layout->addWidget(check, 0, Qt::AlignTop);
    layout->addLayout(uikit::nameOverPath(row, name, style::font(13, QFont::Medium), path,
                                          QStringLiteral("projectName"),
                                          QStringLiteral("projectPath")),
                      1);

    connect(row, &PlainButton::clicked, this, [this, name] { Q_EMIT projectChosen(name); });
    return row;
}

} // namespace dorv
