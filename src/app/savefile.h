#pragma once

#include <QString>

class QWidget;

// Choosing a file the program is to write. A destination the program must
// never write (its own tables, lock or session) is refused before any
// question about it.
namespace SaveFile {
// Tells the user why path may not be written, or asks whether to replace the
// file there; false to stop.
bool confirm(const QString &path);
// The save dialog, its own question about replacing a file left to confirm();
// empty when cancelled or refused.
QString ask(QWidget *parent, const QString &caption, const QString &suggested,
    const QString &filter, const QString &defaultSuffix = {});
} // namespace SaveFile
