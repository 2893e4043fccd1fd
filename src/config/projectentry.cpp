#include "config/projectentry.h"

namespace dorv {

ProjectEntry ProjectEntry::create(const QString &alias, const QString &path, bool isDefault)
{
    return {QUuid::createUuid(), alias, path, isDefault};
}

} // namespace dorv
