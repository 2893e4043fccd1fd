#pragma once

#include "config/projectentry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The project list file: a small line-oriented YAML subset shared with the bridge.
//
//     default: api
//     projects:
//       webapp: /Users/user/src/webapp
//       api: /Users/user/src/api-server
namespace dorv::projectlist {

// Reads any text; every line falls under one of the reader's rules, so this never fails.
QList<ProjectEntry> parse(QStringView text);

// The written form, byte for byte (UTF-8, no BOM, every line ended by LF).
QByteArray serialize(const QList<ProjectEntry> &entries);

// Why an entry would not read back as written; empty when it would.
QString entryProblem(const QString &alias, const QString &path);
// The first entry problem in the list, if any.
QString listProblem(const QList<ProjectEntry> &entries);

} // namespace dorv::projectlist
