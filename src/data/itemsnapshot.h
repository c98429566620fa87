#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

struct FieldDef;
struct sqlite3_stmt;

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

// One record as it is read; a value is made only when asked for.
class Cursor
{
public:
    qint64 key() const;
    // The i-th field asked for; null when empty or bad.
    QVariant value(int i) const;
    // One line per stored value of the fields asked for that does not fit its field.
    const QStringList &problems() const { return m_problems; }

private:
    friend void scan(
        const QString &, const QStringList &, const std::function<void(const Cursor &)> &);
    sqlite3_stmt *m_row = nullptr;
    const QList<FieldDef> *m_defs = nullptr;
    QStringList m_problems;
};

// Every record of the file (found in the working directory without regard to
// case), in due-date order, each given to take as it is read: nothing is held
// from one record to the next. Throws EngineError when the file is missing,
// unreadable or not an item table.
void scan(const QString &fileName, const QStringList &fields,
    const std::function<void(const Cursor &)> &take);
// All of them at once.
QList<Row> read(const QString &fileName, const QStringList &fields);
} // namespace ItemSnapshot
