// Delimited text: one line per record, fields separated by commas, texts in
// double quotes (a quote inside doubled), dates as YYYY-MM-DD, amounts with a
// decimal point; UTF-8, lines ended by CR LF. Beside it an INI-style schema.

#include "exportwriters.h"
#include "money.h"

#include <QDate>

namespace TableExport {
namespace {
class TextWriter : public Writer
{
public:
    explicit TextWriter(const Target &target)
        : m_target(target)
        , m_file(target.main, target.shownMain)
    { }

    void begin(const QList<FieldDef> &fields, int) override
    {
        m_fields = fields;
        writeSchema();
    }

    void write(const std::vector<QVariant> &values) override
    {
        m_line.clear();
        for (int f = 0; f < m_fields.size(); ++f) {
            if (f > 0)
                m_line.append(',');
            const QVariant &value = values[f];
            const FieldType type = m_fields[f].type;
            if (type == FieldType::Text) {
                m_line.append('"');
                if (!value.isNull())
                    m_line.append(value.toString().toUtf8().replace('"', "\"\""));
                m_line.append('"');
                continue;
            }
            if (value.isNull())
                continue;
            switch (type) {
            case FieldType::Date:
                m_line.append(value.toDate().toString(Qt::ISODate).toLatin1());
                break;
            case FieldType::Money:
                m_line.append(value.metaType() == QMetaType::fromType<Money>()
                        ? value.value<Money>().text(2)
                        : plainAmount(value.toDouble()));
                break;
            default:
                m_line.append(QByteArray::number(value.toLongLong()));
                break;
            }
        }
        m_line.append("\r\n");
        m_file.write(m_line);
    }

    void finish() override { m_file.finish(); }

private:
    // The schema a text table engine reads: the file's layout, then one
    // line per field with its name, type, width, decimals and offset (0 in a
    // delimited file).
    void writeSchema()
    {
        QByteArray schema;
        schema.append('[').append(m_target.tableName.toUtf8()).append("]\r\n");
        schema.append("Filetype=VARYING\r\n");
        schema.append("Delimiter=\"\r\n");
        schema.append("Separator=,\r\n");
        schema.append("CharSet=ascii\r\n");
        for (int f = 0; f < m_fields.size(); ++f) {
            const FieldDef &field = m_fields[f];
            const char *type = "CHAR";
            int width = field.size;
            int decimals = 0;
            switch (field.type) {
            case FieldType::Date:
                type = "DATE";
                width = 10;
                break;
            case FieldType::Money:
                type = "FLOAT";
                width = 20;
                decimals = 4;
                break;
            case FieldType::SmallInt:
                type = "NUMBER";
                width = 6;
                break;
            case FieldType::Counter:
                type = "LONGINT";
                width = 11;
                break;
            case FieldType::Text:
                break;
            }
            schema.append(QStringLiteral("Field%1=%2,%3,%4,%5,00\r\n")
                              .arg(f + 1)
                              .arg(field.name, QLatin1String(type))
                              .arg(width)
                              .arg(decimals, 2, 10, QLatin1Char('0'))
                              .toUtf8());
        }
        OutFile file(m_target.companion, m_target.shownCompanion);
        file.write(schema);
        file.finish();
    }

    Target m_target;
    OutFile m_file;
    QList<FieldDef> m_fields;
    QByteArray m_line;
};
} // namespace

std::unique_ptr<Writer> textWriter(const Target &target)
{
    return std::make_unique<TextWriter>(target);
}
} // namespace TableExport
