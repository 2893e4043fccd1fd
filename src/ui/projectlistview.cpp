#include "ui/projectlistview.h"

#include "ui/helpers.h"
#include "ui/style.h"
#include "ui/widgets/plainbutton.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace dorv {

using helpers::kRingRoom;
using style::Level;
using style::Tint;

namespace {

// The row's padding and gaps as drawn; the buttons' ring room is taken out of them, so the
// glyphs sit where the padding puts them.
constexpr int kPadding = 16;
constexpr int kTop = 8;
constexpr int kGap = 8;
constexpr int kStarSize = 11;
constexpr int kCrossSize = 10;
constexpr int kGlyphTop = 3; // the glyphs sit a little lower than the alias

QFont aliasFont()
{
    return style::font(13, QFont::Medium);
}

class EditorRow : public QWidget {
public:
    explicit EditorRow(QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("editorRow"));
        const int top = kTop + kGlyphTop - kRingRoom;
        auto *layout = helpers::hbox(this, kGap - kRingRoom,
                                     {kPadding - kRingRoom, top, kPadding - kRingRoom, kTop});
        star = helpers::symbolButton(QStringLiteral("star"), kStarSize,
                                     style::level(Level::Secondary), this);
        star->setObjectName(QStringLiteral("starButton"));
        star->setCheckable(true);
        star->setToolTip(tr("Make default"));
        star->setFocusPolicy(Qt::ClickFocus); // Tab reaches it through the list
        layout->addWidget(star, 0, Qt::AlignTop);

        text = helpers::nameOverPath(this, aliasFont(), QStringLiteral("alias"),
                                     QStringLiteral("path"));
        text.column->setContentsMargins(0, kTop - top, 0, 0);
        layout->addLayout(text.column, 1);

        cross = helpers::symbolButton(QStringLiteral("xmark"), kCrossSize, style::color(Tint::Red),
                                      this);
        cross->setObjectName(QStringLiteral("deleteButton"));
        cross->setToolTip(tr("Remove"));
        cross->setFocusPolicy(Qt::ClickFocus);
        layout->addWidget(cross, 0, Qt::AlignTop);
    }

    void show(const ProjectEntry &entry)
    {
        id = entry.id;
        star->setAccessibleName(tr("Make %1 the default").arg(entry.alias));
        cross->setAccessibleName(tr("Remove %1").arg(entry.alias));
        if (star->isChecked() != entry.isDefault || !m_bound) {
            const QSignalBlocker quiet(star); // showing the flag is not a request
            star->setChecked(entry.isDefault);
            helpers::setSymbol(
                star, entry.isDefault ? QStringLiteral("star.fill") : QStringLiteral("star"),
                kStarSize,
                entry.isDefault ? style::color(Tint::Orange) : style::level(Level::Secondary));
        }
        m_bound = true;
        text.show(entry.alias, helpers::shownPath(entry.path));
    }

    static int heightFor(const QString &alias, int width)
    {
        const int column = width - 2 * kPadding - kStarSize - kCrossSize - 2 * kGap;
        const int button = kGlyphTop + kStarSize + kRingRoom;
        return 2 * kTop +
               qMax(button, helpers::NameOverPath::heightFor(alias, aliasFont(), true, column));
    }

    QUuid id;
    PlainButton *star;
    PlainButton *cross;
    helpers::NameOverPath text;

private:
    bool m_bound = false;
};

} // namespace

ProjectListView::ProjectListView(QWidget *parent) : RowList(parent)
{
    setObjectName(QStringLiteral("projectList"));
    setDivider(40);
}

void ProjectListView::showEntries(const QList<ProjectEntry> &entries)
{
    bool sameRows = entries.size() == m_entries.size();
    for (qsizetype i = 0; sameRows && i < entries.size(); ++i)
        sameRows = entries[i].id == m_entries[i].id && entries[i].alias == m_entries[i].alias &&
                   entries[i].path == m_entries[i].path;
    m_entries = entries;
    if (sameRows) {
        rebindRows(); // a star pressed: the flags, drawn afresh from the list
        return;
    }
    QStringList keys;
    keys.reserve(entries.size());
    for (const ProjectEntry &entry : entries)
        keys.append(entry.id.toString(QUuid::WithoutBraces));
    setKeys(keys);
}

QWidget *ProjectListView::createRow(QWidget *viewport)
{
    auto *row = new EditorRow(viewport);
    // toggled, not clicked: a screen reader's toggle action emits only this. Pressing the star
    // of the default entry unticks it, and still asks to make that entry the only default.
    connect(row->star, &PlainButton::toggled, this,
            [this, row] { Q_EMIT defaultRequested(row->id); });
    connect(row->cross, &PlainButton::clicked, this,
            [this, row] { Q_EMIT removeRequested(row->id); });
    return row;
}

void ProjectListView::bindRow(QWidget *row, int index)
{
    static_cast<EditorRow *>(row)->show(m_entries.at(index));
}

int ProjectListView::measureRow(int index, int width) const
{
    return EditorRow::heightFor(m_entries.at(index).alias, width);
}

QList<QWidget *> ProjectListView::focusStops(QWidget *row) const
{
    auto *editorRow = static_cast<EditorRow *>(row);
    return {editorRow->star, editorRow->cross};
}

} // namespace dorv
