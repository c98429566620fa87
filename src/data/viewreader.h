#pragma once

#include "layouts.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

#include <QByteArrayView>

#include <optional>

struct sqlite3;

// A record as a pass reads it. value() is the field as the table engine gives
// it; the other two let a caller skip the QVariant (and its QString) for the
// common cases, and say nothing (nullopt) when value() must be asked.
class ScannedRow
{
public:
    virtual ~ScannedRow() = default;
    virtual QVariant value(int i) const = 0;
    // A text field's stored UTF-8, valid until the pass moves on.
    virtual std::optional<QByteArrayView> utf8(int) const { return std::nullopt; }
    // An amount field's value when value() gives it as a number.
    virtual std::optional<double> number(int) const { return std::nullopt; }
};

// The records of a table file in the order of one of its indexes, through a
// filter, as a Table with those settings shows them, but read on connections
// of the reader's own: without the key list a Table reads before its first
// record, and from a thread other than the program's. For reports over large
// files; nothing is ever written.
class ViewReader
{
public:
    // Opens the file and checks the index and the filter; throws EngineError
    // with the table engine's messages ("Table does not exist", "Index does
    // not exist", a filter that does not compile).
    ViewReader(const QString &fileName, const QString &indexName, const QString &filter);
    ~ViewReader();
    ViewReader(const ViewReader &) = delete;
    ViewReader &operator=(const ViewReader &) = delete;

    QString path() const { return m_path; }
    // Fields of the file, in its physical order.
    const QList<FieldDef> &fields() const { return m_fields; }

    using Visit = std::function<bool(qint64 key, const ScannedRow &values)>;
    // One pass over the view in order, reading only `fields` (value i of a
    // row is field fields[i]); `visit` returns
    // false to stop. Runs on a connection opened for the pass, so it may run
    // on another thread while read() is used.
    void scan(const std::vector<int> &fields, const Visit &visit) const;
    // Every field of the records with these keys, in the order of the keys; a
    // record gone from the file reads as empty. One thread at a time.
    std::vector<std::vector<QVariant>> read(const std::vector<qint64> &keys) const;

private:
    sqlite3 *connect() const;
    // Reads the fields and builds the statement of the view.
    void describe(const QString &indexName, const QString &filter);
    QStringList indexColumns(const QString &indexName) const;

    QString m_path;
    QList<FieldDef> m_fields;
    QString m_from; // the view's FROM, WHERE and ORDER BY
    QList<QVariant> m_params;
    sqlite3 *m_db = nullptr; // for read()
};
