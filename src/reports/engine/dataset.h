#pragma once

#include "data/layouts.h"
#include "data/viewreader.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Table;

namespace ReportEngine {

// The records a report's detail band prints, in order, read by position.
class DataSet
{
public:
    virtual ~DataSet() = default;
    virtual int rowCount() const = 0;
    virtual const QList<FieldDef> &fields() const = 0;
    // -1 when the data set has no such field (names without regard to case).
    int fieldIndex(const QString &name) const;
    // Throws EngineError "Field '<name>' not found" for a missing field.
    int fieldIndexOrThrow(const QString &name) const;
    virtual QVariant value(int row, int field) const = 0;
    using Visit = std::function<bool(int row, const ScannedRow &values)>;
    // Every row's values of some fields, in order; returning false stops.
    // Row by row unless the data set knows a faster way.
    virtual void scan(const std::vector<int> &fields, const Visit &visit) const;
    // Whether scan() may run on another thread while value() is used.
    virtual bool scansAside() const { return false; }
};

// A table handle, opened with its index and filter by whoever made it.
class TableData : public DataSet
{
public:
    explicit TableData(std::unique_ptr<Table> table);
    ~TableData() override;
    Table &table() const { return *m_table; }
    int rowCount() const override;
    const QList<FieldDef> &fields() const override;
    QVariant value(int row, int field) const override;
    void scan(const std::vector<int> &fields, const Visit &visit) const override;

private:
    std::unique_ptr<Table> m_table;
    QList<FieldDef> m_fields;
};

// A table view read by a ViewReader: the rows are known as the pass over
// them finds them, so the pages of the first rows can be shown while the pass
// goes on aside. Values are read by key, a block of rows at a time.
class ViewData : public DataSet
{
public:
    explicit ViewData(std::unique_ptr<ViewReader> reader);
    ~ViewData() override;
    // The rows the pass has found so far.
    int rowCount() const override;
    const QList<FieldDef> &fields() const override { return m_fields; }
    // Of a row the pass has found; one thread at a time.
    QVariant value(int row, int field) const override;
    void scan(const std::vector<int> &fields, const Visit &visit) const override;
    bool scansAside() const override { return true; }

private:
    std::unique_ptr<ViewReader> m_reader;
    QList<FieldDef> m_fields;
    mutable std::mutex m_keysLock;
    mutable std::vector<qint64> m_keys; // of every row found, in order
    mutable int m_blockStart = -1;
    mutable std::vector<std::vector<QVariant>> m_block;
};

// Rows held in memory: a grouped query's result, with any calculated columns
// already filled in.
class RowData : public DataSet
{
public:
    RowData(QList<FieldDef> fields, std::vector<std::vector<QVariant>> rows);
    int rowCount() const override { return int(m_rows.size()); }
    const QList<FieldDef> &fields() const override { return m_fields; }
    QVariant value(int row, int field) const override;

private:
    QList<FieldDef> m_fields;
    std::vector<std::vector<QVariant>> m_rows;
};

} // namespace ReportEngine
