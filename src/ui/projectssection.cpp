#include "ui/projectssection.h"

#include "ui/helpers.h"
#include "ui/style.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/rowlist.h"
#include "ui/widgets/spinner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace dorv {

using style::Level;

namespace {

QFont nameFont()
{
    return style::font(13, QFont::Medium);
}

// Row padding, the check mark slot and the gap after it: what the name column leaves over.
constexpr int kPadding = 14;
constexpr int kCheckWidth = 14;
constexpr int kGap = 8;
constexpr int kRowTopBottom = 4;
constexpr int kLeastRows = 3;

// One project row: the check mark slot, the name over its path.
class ProjectRow : public PlainButton {
public:
    explicit ProjectRow(QWidget *parent) : PlainButton(parent)
    {
        setObjectName(QStringLiteral("projectRow"));
        // Tab reaches the rows through their list, which knows their order.
        setFocusPolicy(Qt::ClickFocus);
        auto *layout =
            helpers::hbox(this, kGap, {kPadding, kRowTopBottom, kPadding, kRowTopBottom});
        // The slot keeps its width without a check mark, so every name starts at the same place.
        m_check = new QLabel(this);
        m_check->setObjectName(QStringLiteral("checkmark"));
        m_check->setFixedWidth(kCheckWidth);
        m_check->setContentsMargins(0, 2, 0, 0);
        m_check->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        m_check->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(m_check, 0, Qt::AlignTop);
        // A switch still out shows a spinner in the slot.
        m_spinner = new Spinner(m_check);
        m_spinner->setGeometry(2, 3, 10, 10);
        m_spinner->hide();
        m_text = helpers::nameOverPath(this, nameFont(), QStringLiteral("projectName"),
                                       QStringLiteral("projectPath"));
        layout->addLayout(m_text.column, 1);
    }

    QString name() const { return m_name; }

    void show(const QString &name, const QString &path, bool active, bool busy)
    {
        m_spinner->setVisible(busy);
        m_name = name;
        setAccessibleName(helpers::visibleName(name));
        setAccessibleDescription(active ? QStringLiteral("Active project") : QString());
        if (m_check->pixmap().isNull() == (active && !busy)) {
            if (active && !busy)
                m_check->setPixmap(style::symbol(QStringLiteral("checkmark"),
                                                 style::color(style::Tint::Blue), 10,
                                                 devicePixelRatioF()));
            else
                m_check->clear();
        }
        m_text.show(helpers::shownName(name), path);
    }

    static int heightFor(const QString &name, bool hasPath, int width)
    {
        const int column = width - 2 * kPadding - kCheckWidth - kGap;
        return 2 * kRowTopBottom + helpers::NameOverPath::heightFor(helpers::shownName(name),
                                                                    nameFont(), hasPath, column);
    }

private:
    QLabel *m_check;
    Spinner *m_spinner;
    helpers::NameOverPath m_text;
    QString m_name;
};

} // namespace

class ProjectRowList : public RowList {
public:
    explicit ProjectRowList(ProjectsSection *section) : RowList(section), m_section(section)
    {
        setObjectName(QStringLiteral("projectRows"));
        setOneStop();
    }

protected:
    QWidget *createRow(QWidget *viewport) override
    {
        auto *row = new ProjectRow(viewport);
        connect(row, &PlainButton::clicked, m_section,
                [this, row] { Q_EMIT m_section->projectChosen(row->name()); });
        return row;
    }
    void bindRow(QWidget *row, int index) override
    {
        const QString &name = m_section->m_names.at(index);
        static_cast<ProjectRow *>(row)->show(name, m_section->m_paths.value(name),
                                             name == m_section->m_active,
                                             m_section->m_busy.contains(name));
    }
    int entryRow() const override
    {
        const qsizetype active = m_section->m_names.indexOf(m_section->m_active);
        return active >= 0 ? int(active) : RowList::entryRow();
    }
    int measureRow(int index, int width) const override
    {
        const QString &name = m_section->m_names.at(index);
        return ProjectRow::heightFor(name, m_section->m_paths.contains(name), width);
    }

private:
    ProjectsSection *m_section;
};

ProjectsSection::ProjectsSection(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("projectsSection"));
    auto *layout = helpers::vbox(this, 0, {0, 0, 0, 4});
    auto *heading = helpers::makeLabel(QStringLiteral("PROJECTS"), style::font(11, QFont::DemiBold),
                                       style::level(Level::Tertiary), this);
    QFont font = heading->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    heading->setFont(font);
    heading->setContentsMargins(14, 6, 14, 4);
    heading->setMinimumHeight(style::lineHeight(font) + 10);
    layout->addWidget(heading);

    m_list = new ProjectRowList(this);
    m_list->setFixedHeight(0); // its height is always the one fitRows() gave it
    layout->addWidget(m_list);
}

void ProjectsSection::showProjects(const QStringList &names, const QString &active,
                                   const QList<ProjectEntry> &known, const QSet<QString> &busy)
{
    // A poll that changes nothing costs a comparison. Only aliases and paths count: every load
    // of the list gives its entries new ids.
    bool knownChanged = known.size() != m_known.size();
    const bool sameList = known.constData() == m_known.constData(); // shared: nothing reloaded
    for (qsizetype i = 0; !knownChanged && !sameList && i < known.size(); ++i)
        knownChanged = known[i].alias != m_known[i].alias || known[i].path != m_known[i].path;
    m_known = known; // equal or not: the next poll then compares shared lists in one step
    if (!knownChanged && names == m_names && active == m_active && busy == m_busy)
        return;
    if (knownChanged) {
        m_paths.clear();
        for (const ProjectEntry &entry : known)
            if (!m_paths.contains(entry.alias))
                m_paths.insert(entry.alias, helpers::shownPath(entry.path));
    }
    const bool rowsChanged = knownChanged || names != m_names;
    m_names = names;
    m_active = active;
    m_busy = busy;
    if (rowsChanged)
        m_list->setKeys(names);
    else
        m_list->rebindRows();
    // Rows that arrive while the panel is open show the active one too, not the top; a row
    // with the keyboard focus stays in view instead.
    if (!m_list->isAncestorOf(window()->focusWidget()))
        revealActive();
}

void ProjectsSection::revealActive()
{
    const qsizetype index = m_names.indexOf(m_active);
    if (index >= 0)
        m_list->revealRow(int(index));
}

int ProjectsSection::rowsHeight() const
{
    return m_list->height();
}

void ProjectsSection::fitRows(int width, int limit)
{
    const int full = m_list->contentHeight(width);
    // The list gives way to a short screen down to three rows (or all, if fewer); below that
    // the panel as a whole scrolls.
    const int least = m_list->spanHeight(kLeastRows, width);
    const int shown = limit < 0 ? full : qMin(full, qMax(least, limit));
    if (m_list->height() == shown && m_list->minimumHeight() == shown)
        return;
    m_list->setFixedHeight(shown);
    layout()->invalidate();
    updateGeometry();
}

} // namespace dorv
