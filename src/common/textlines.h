#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// Line splitting and trimming shared by the project list reader and the reading of pgrep's output.
namespace dorv {

// LF, VT, FF, CR, NEL (U+0085), LS (U+2028), PS (U+2029).
bool isLineBreak(QChar c);
// Tab and every Unicode space separator (category Zs); line breaks are not included.
bool isHorizontalSpace(QChar c);

// Splits at every line-break character; empty pieces are kept.
QList<QStringView> splitLines(QStringView text);
QStringView trimHorizontal(QStringView text);

// Strict UTF-8 decoding: false (and *out untouched) on any invalid byte sequence.
bool decodeUtf8Strict(const QByteArray &bytes, QString *out);

} // namespace dorv
