#pragma once

#include <QList>
#include <QString>
#include <QStringList>

enum class FieldType { Date, Text, Money, SmallInt, Counter };

struct FieldDef
{
    QString name;
    FieldType type = FieldType::Text;
    int size = 0; // characters, for text fields
    bool required = false;
    // Shown as an empty cell when 0 (a whole number in the "####" format).
    bool blankZero = false;
    // The only values a stored record may hold, when not empty.
    QStringList choices = {};
    // Holds a sum of amounts: any finite value, beyond the bound of one amount.
    bool isSum = false;
};

struct IndexDef
{
    QString name;
    QStringList fields;
};

// A table's record layout: its fields in their physical order, its indexes,
// and the order of its primary index.
struct Layout
{
    QString kind;
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
    QStringList primaryOrder;
    QString primaryKeyField; // a unique text key ("Payee"), or empty

    const FieldDef *field(const QString &name) const;
};

namespace Layouts {
const Layout &item();
const Layout &aging();
const Layout &payee();
// The layout a table file must have, judged by its name; nullptr for unknown names.
const Layout *forFile(const QString &fileName);
} // namespace Layouts

// The payment mark: the single character of code 252.
inline const QString PayMark = QString(QChar(0xFC));

// The name of the one table inside every table file.
inline const QString DataTableName = QStringLiteral("data");

// SQL text for creating a layout's table and indexes in an attached schema.
QStringList createStatements(const QString &schema, const Layout &layout);
// The declared column type that carries a field's type and size in the file.
QString declaredType(const FieldDef &field);
// Reads a field definition back from a declared type; false for types we do not know.
bool parseDeclaredType(const QString &declared, FieldDef &field);
