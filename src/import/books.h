#pragma once

#include "sourceschedule.h"

// The scheduled transactions of another finance program's file: HomeBank
// (.xhb), KMyMoney (.kmy), GnuCash (XML, gzip-compressed or plain, or SQLite)
// and Money Manager Ex (.mmb, SQLite). The format is told from the content, not
// from the file's name. Nothing in the file is ever written.
namespace Books {
// Reads the file at path. A file no reader knows, or one that is damaged,
// comes back with an error and no schedules.
SourceBook read(const QString &path, const ReadProgress &progress = {});
// The same for a file's bytes (SQLite files are read from a private copy in
// memory). name is used in messages only.
SourceBook readBytes(
    const QByteArray &bytes, const QString &name, const ReadProgress &progress = {});
// The open dialog's filter for the files read() knows.
QString fileFilter();
} // namespace Books
