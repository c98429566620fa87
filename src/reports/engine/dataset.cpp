#include "dataset.h"

#include "data/engineerror.h"
#include "data/table.h"
#include "data/viewreader.h"

#include <algorithm>

namespace ReportEngine {

int DataSet::fieldIndex(const QString &name) const
{
    const QList<FieldDef> &defs = fields();
    for (int i = 0; i < defs.size(); ++i)
        if (defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int DataSet::fieldIndexOrThrow(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw EngineError(QStringLiteral("Field '%1' not found").arg(name));
    return i;
}

namespace {
// Values already read.
class VariantRow final : public ScannedRow
{
public:
    explicit VariantRow(const std::vector<QVariant> &values)
        : m_values(values)
    { }
    QVariant value(int i) const override { return m_values[std::size_t(i)]; }

private:
    const std::vector<QVariant> &m_values;
};
} // namespace

void DataSet::scan(const std::vector<int> &fields, const Visit &visit) const
{
    std::vector<QVariant> values(fields.size());
    const VariantRow read(values);
    for (int row = 0; row < rowCount(); ++row) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            values[i] = value(row, fields[i]);
        if (!visit(row, read))
            return;
    }
}

namespace {
// Rows read at once when a page asks for a row: about a page's worth.
constexpr int Block = 64;

// The file tells each field's type; its layout tells how it prints (a
// Frequency of 0 is blank, as in the lists).
QList<FieldDef> printedFields(QList<FieldDef> fields, const QString &path)
{
    if (const Layout *layout = Layouts::forFile(path))
        for (FieldDef &f : fields)
            if (const FieldDef *declared = layout->field(f.name))
                f.blankZero = declared->blankZero;
    return fields;
}
} // namespace

TableData::TableData(std::unique_ptr<Table> table)
    : m_table(std::move(table))
    , m_fields(printedFields(m_table->fields(), m_table->path()))
{ }

TableData::~TableData() = default;

int TableData::rowCount() const
{
    return m_table->recordCount();
}

const QList<FieldDef> &TableData::fields() const
{
    return m_fields;
}

QVariant TableData::value(int row, int field) const
{
    return m_table->rowValue(row, field);
}

void TableData::scan(const std::vector<int> &fields, const Visit &visit) const
{
    m_table->scan(fields, [&](int row, const std::vector<QVariant> &values) {
        return visit(row, VariantRow(values));
    });
}

ViewData::ViewData(std::unique_ptr<ViewReader> reader)
    : m_reader(std::move(reader))
    , m_fields(printedFields(m_reader->fields(), m_reader->path()))
{ }

ViewData::~ViewData() = default;

int ViewData::rowCount() const
{
    const std::lock_guard lock(m_keysLock);
    return int(m_keys.size());
}

QVariant ViewData::value(int row, int field) const
{
    if (row < m_blockStart || row >= m_blockStart + int(m_block.size())) {
        std::vector<qint64> keys;
        {
            const std::lock_guard lock(m_keysLock);
            if (row < 0 || row >= int(m_keys.size()))
                return {};
            const auto from = m_keys.begin() + row;
            keys.assign(from, from + std::min<std::ptrdiff_t>(Block, m_keys.end() - from));
        }
        m_block = m_reader->read(keys);
        m_blockStart = row;
    }
    const std::vector<QVariant> &values = m_block[std::size_t(row - m_blockStart)];
    return field >= 0 && field < int(values.size()) ? values[std::size_t(field)] : QVariant();
}

void ViewData::scan(const std::vector<int> &fields, const Visit &visit) const
{
    {
        const std::lock_guard lock(m_keysLock);
        m_keys.clear();
    }
    int row = 0;
    m_reader->scan(fields, [&](qint64 key, const ScannedRow &values) {
        {
            const std::lock_guard lock(m_keysLock);
            m_keys.push_back(key);
        }
        return visit(row++, values);
    });
}

RowData::RowData(QList<FieldDef> fields, std::vector<std::vector<QVariant>> rows)
    : m_fields(std::move(fields))
    , m_rows(std::move(rows))
{ }

QVariant RowData::value(int row, int field) const
{
    if (row < 0 || row >= int(m_rows.size()) || field < 0 || field >= int(m_rows[row].size()))
        return {};
    return m_rows[row][field];
}

} // namespace ReportEngine
