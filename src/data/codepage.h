#pragma once

#include <QByteArray>
#include <QStringView>

// Windows-1252, the Western single-byte code page of the exported Paradox and
// dBASE tables.
namespace Cp1252 {
// The text's bytes in the code page, appended to out. A character the code
// page lacks, a control character of the C1 range and NUL each become one "?".
// Returns false when anything was replaced.
bool encode(QStringView text, QByteArray &out);
// Back again, for readers of such tables.
QString decode(QByteArrayView bytes);
} // namespace Cp1252
