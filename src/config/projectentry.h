#pragma once

#include <QString>
#include <QUuid>

// One configured project. The id is made fresh whenever an entry is created and never stored.
namespace dorv {

struct ProjectEntry {
    QUuid id;
    QString alias;
    QString path;
    bool isDefault = false;

    static ProjectEntry create(const QString &alias, const QString &path, bool isDefault = false);
    bool operator==(const ProjectEntry &) const = default;
};

} // namespace dorv

// Moved by memcpy when a long list grows, as its members are.
Q_DECLARE_TYPEINFO(dorv::ProjectEntry, Q_RELOCATABLE_TYPE);
