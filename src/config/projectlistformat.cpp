#include "config/projectlistformat.h"

#include "common/textlines.h"

namespace dorv::projectlist {

namespace {
const QString kDefaultKey = QStringLiteral("default:");
const QString kSectionLine = QStringLiteral("projects:");

bool hasOuterSpace(const QString &text)
{
    return !text.isEmpty() && (isHorizontalSpace(text.front()) || isHorizontalSpace(text.back()));
}

bool hasLineBreak(const QString &text)
{
    return std::any_of(text.begin(), text.end(), isLineBreak);
}

// The alias in quotes, on one line and as valid text, so the user can find the row it names.
QString quoted(const QString &alias)
{
    QString shown = QString::fromUtf8(alias.toUtf8());
    std::replace_if(shown.begin(), shown.end(), isLineBreak, QChar(0x21b5));
    return u'"' + shown + u'"';
}
} // namespace

QList<ProjectEntry> parse(QStringView text)
{
    QString defaultAlias;
    bool inProjects = false;
    QList<ProjectEntry> entries;

    // Line by line without a list of all lines: a long file is read at every panel open.
    qsizetype start = 0;
    while (start <= text.size()) {
        const auto lineBreak = std::find_if(text.begin() + start, text.end(), isLineBreak);
        const qsizetype end = lineBreak - text.begin();
        const QStringView line = trimHorizontal(text.sliced(start, end - start));
        start = end + 1;
        if (line.startsWith(kDefaultKey)) {
            QString value = line.toString();
            value.remove(kDefaultKey);
            defaultAlias = trimHorizontal(value).toString();
        } else if (line == kSectionLine) {
            inProjects = true;
        } else if (inProjects && line.contains(u':')) {
            const qsizetype colon = line.indexOf(u':');
            entries.append(ProjectEntry::create(trimHorizontal(line.first(colon)).toString(),
                                                trimHorizontal(line.sliced(colon + 1)).toString()));
        } else if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u'-')) {
            continue;
        } else {
            inProjects = false;
        }
    }
    for (ProjectEntry &entry : entries)
        entry.isDefault = entry.alias == defaultAlias;
    return entries;
}

QByteArray serialize(const QList<ProjectEntry> &entries)
{
    QString defaultAlias;
    const auto marked = std::find_if(entries.begin(), entries.end(),
                                     [](const ProjectEntry &e) { return e.isDefault; });
    if (marked != entries.end())
        defaultAlias = marked->alias;
    else if (!entries.isEmpty())
        defaultAlias = entries.front().alias;

    QString text = QStringLiteral("default: ") + defaultAlias + u'\n' + kSectionLine + u'\n';
    for (const ProjectEntry &entry : entries)
        text += QStringLiteral("  ") + entry.alias + QStringLiteral(": ") + entry.path + u'\n';
    return text.toUtf8();
}

QString entryProblem(const QString &alias, const QString &path)
{
    if (!alias.isValidUtf16() || !path.isValidUtf16())
        return QStringLiteral("its name is not valid text");
    if (alias.contains(u':'))
        return QStringLiteral("the alias contains a colon");
    if (hasLineBreak(alias) || hasLineBreak(path))
        return QStringLiteral("the name contains a line break");
    if (hasOuterSpace(alias))
        return QStringLiteral("the alias begins or ends with a blank");
    if (hasOuterSpace(path))
        return QStringLiteral("the path begins or ends with a blank");
    // "  default: x" is read as a default line, and "  projects: " as the section line.
    if (alias == QStringLiteral("default"))
        return QStringLiteral("the alias \"default\" is reserved");
    if (alias == QStringLiteral("projects") && path.isEmpty())
        return QStringLiteral("an alias \"projects\" needs a path");
    return {};
}

QString listProblem(const QList<ProjectEntry> &entries)
{
    for (const ProjectEntry &entry : entries) {
        const QString problem = entryProblem(entry.alias, entry.path);
        if (!problem.isEmpty())
            return QStringLiteral("the entry %1 cannot be saved: %2")
                .arg(quoted(entry.alias), problem);
    }
    return {};
}

} // namespace dorv::projectlist
