#include "dataset.h"

#include "data/engineerror.h"
#include "data/table.h"

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

void DataSet::scan(const std::vector<int> &fields,
    const std::function<bool(int row, const std::vector<QVariant> &values)> &visit) const
{
    std::vector<QVariant> values(fields.size());
    for (int row = 0; row < rowCount(); ++row) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            values[i] = value(row, fields[i]);
        if (!visit(row, values))
            return;
    }
}

TableData::TableData(std::unique_ptr<Table> table)
    : m_table(std::move(table))
    , m_fields(m_table->fields())
{
    // The file tells each field's type; its layout tells how it prints
    // (a Frequency of 0 is blank, as in the lists).
    if (const Layout *layout = Layouts::forFile(m_table->path()))
        for (FieldDef &f : m_fields)
            if (const FieldDef *declared = layout->field(f.name))
                f.blankZero = declared->blankZero;
}

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

void TableData::scan(const std::vector<int> &fields,
    const std::function<bool(int row, const std::vector<QVariant> &values)> &visit) const
{
    m_table->scan(fields, visit);
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
