// Any bytes as the project list file: the reader never crashes, and whatever list the writer
// accepts reads back with the same aliases, paths and order.
#include "common/textlines.h"
#include "config/projectlistformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString text;
    if (!dorv::decodeUtf8Strict(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                                &text))
        return 0;
    const QList<dorv::ProjectEntry> list = dorv::projectlist::parse(text);
    if (!dorv::projectlist::listProblem(list).isEmpty())
        return 0;
    const QByteArray written = dorv::projectlist::serialize(list);
    const QList<dorv::ProjectEntry> back = dorv::projectlist::parse(QString::fromUtf8(written));
    if (back.size() != list.size())
        __builtin_trap();
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (back[i].alias != list[i].alias || back[i].path != list[i].path)
            __builtin_trap();
    }
    // Written again, the bytes are the same: the written form is a fixed point.
    if (dorv::projectlist::serialize(back) != written)
        __builtin_trap();
    return 0;
}
