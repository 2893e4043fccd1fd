#include "config/projectentry.h"

#include <QRandomGenerator>

namespace dorv {

ProjectEntry ProjectEntry::create(const QString &alias, const QString &path, bool isDefault)
{
    // A random (version 4) id from the seeded generator: QUuid::createUuid() asks the system
    // source for every id, which costs more than reading the entry (a long list is read at
    // every panel open), and these ids never leave the process.
    QUuid id;
    const quint64 high = QRandomGenerator::global()->generate64();
    const quint64 low = QRandomGenerator::global()->generate64();
    id.data1 = quint32(high >> 32);
    id.data2 = quint16(high >> 16);
    id.data3 = quint16((high & 0x0fff) | 0x4000);
    for (int i = 0; i < 8; ++i)
        id.data4[i] = uchar(low >> (56 - 8 * i));
    id.data4[0] = uchar((id.data4[0] & 0x3f) | 0x80);
    return {id, alias, path, isDefault};
}

} // namespace dorv
