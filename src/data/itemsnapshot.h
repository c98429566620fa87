#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The records of an item table file as they are on disk, read through a
// connection of their own that only reads: no session file, no journal,
// no lock beyond SQLite's shared read lock, so it works beside a running
// program and changes nothing, nor creates a file beside it.
namespace ItemSnapshot {
struct Row
{
    qint64 key = 0; // the record's PrimaryKey
    QVariantList values; // in the order of the fields asked for; null when empty or bad
    QStringList problems; // one line per stored value that does not fit its field
};

// Every record of the file (found in the working directory without regard to
// case), in due-date order. Throws EngineError when the file is missing,
// unreadable or not an item table.
QList<Row> read(const QString &fileName, const QStringList &fields);
} // namespace ItemSnapshot
