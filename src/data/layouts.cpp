#include "layouts.h"

#include <QRegularExpression>

const FieldDef *Layout::field(const QString &name) const
{
    for (const FieldDef &f : fields)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

namespace {
Layout makeItem()
{
    Layout l;
    l.kind = QStringLiteral("item");
    auto add = [&l](const char *name, FieldType type, int size = 0, bool required = false) {
        l.fields.append({ QString::fromLatin1(name), type, size, required });
    };
    add("Pay Date", FieldType::Date);
    add("Due Date", FieldType::Date);
    add("Description", FieldType::Text, 255, true);
    add("Bill Amount", FieldType::Money);
    add("Pay Amount", FieldType::Money);
    add("Frequency", FieldType::SmallInt, 0, true);
    l.fields.last().blankZero = true; // a one-time item repeats every 0: nothing to show
    add("Units", FieldType::Text, 15);
    l.fields.last().choices
        = { QStringLiteral("One Time"), QStringLiteral("Days"), QStringLiteral("Weeks"),
              QStringLiteral("Half Months"), QStringLiteral("Months"), QStringLiteral("Years") };
    add("Warning Days", FieldType::SmallInt);
    add("End Date", FieldType::Date);
    add("User Field 1", FieldType::Text, 255);
    add("User Field 2", FieldType::Text, 255);
    add("User Field 3", FieldType::Text, 255);
    add("User Field 4", FieldType::Text, 255);
    add("PrimaryKey", FieldType::Counter);
    add("Process Date", FieldType::Date);
    add("PayNow", FieldType::Text, 1);
    add("Budget", FieldType::Money);
    add("Balance", FieldType::Money);

    l.primaryOrder = { QStringLiteral("PrimaryKey") };
    l.indexes.append({ QStringLiteral("Due Date Index"),
        { QStringLiteral("Due Date"), QStringLiteral("Description") } });
    const char *sortable[] = { "PayNow", "Description", "Bill Amount", "Pay Amount", "Frequency",
        "Units", "End Date", "Warning Days", "Budget", "Balance", "User Field 1", "User Field 2",
        "User Field 3", "User Field 4", "Process Date" };
    for (const char *f : sortable) {
        const QString name = QString::fromLatin1(f);
        l.indexes.append({ name + QStringLiteral(" Index"), { name } });
    }
    return l;
}

Layout makeAging()
{
    Layout l;
    l.kind = QStringLiteral("aging");
    l.fields.append({ QStringLiteral("Order"), FieldType::SmallInt, 0, false });
    l.fields.append({ QStringLiteral("Type"), FieldType::Text, 10, false });
    for (int i = 0; i <= 5; ++i) {
        l.fields.append({ QStringLiteral("Amount%1").arg(i), FieldType::Money, 0, false });
        l.fields.last().isSum = true;
    }
    l.primaryOrder = { QStringLiteral("Order") };
    l.indexes.append({ QStringLiteral("Order Index"), { QStringLiteral("Order") } });
    return l;
}

Layout makePayee()
{
    Layout l;
    l.kind = QStringLiteral("payee");
    l.fields.append({ QStringLiteral("Payee"), FieldType::Text, 255, true });
    l.primaryOrder = { QStringLiteral("Payee") };
    l.primaryKeyField = QStringLiteral("Payee");
    return l;
}

QString quoted(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}
} // namespace

const Layout &Layouts::item()
{
    static const Layout l = makeItem();
    return l;
}

const Layout &Layouts::aging()
{
    static const Layout l = makeAging();
    return l;
}

const Layout &Layouts::payee()
{
    static const Layout l = makePayee();
    return l;
}

const Layout *Layouts::forFile(const QString &fileName)
{
    const QString base
        = fileName.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0).toLower();
    if (base == QLatin1String("schedule") || base == QLatin1String("history")
        || base == QLatin1String("resched") || base == QLatin1String("newsched"))
        return &item();
    if (base == QLatin1String("age") || base == QLatin1String("newage"))
        return &aging();
    if (base == QLatin1String("payee") || base == QLatin1String("newpayee"))
        return &payee();
    return nullptr;
}

QString declaredType(const FieldDef &field)
{
    switch (field.type) {
    case FieldType::Date:
        return QStringLiteral("DATE");
    case FieldType::Text:
        return QStringLiteral("VARCHAR(%1)").arg(field.size);
    case FieldType::Money:
        return QStringLiteral("MONEY");
    case FieldType::SmallInt:
        return QStringLiteral("SMALLINT");
    case FieldType::Counter:
        return QStringLiteral("INTEGER");
    }
    return {};
}

bool parseDeclaredType(const QString &declared, FieldDef &field)
{
    const QString t = declared.trimmed().toUpper();
    static const QRegularExpression varchar(QStringLiteral("^VARCHAR\\((\\d+)\\)$"));
    if (t == QLatin1String("DATE")) {
        field.type = FieldType::Date;
    } else if (t == QLatin1String("MONEY")) {
        field.type = FieldType::Money;
    } else if (t == QLatin1String("SMALLINT")) {
        field.type = FieldType::SmallInt;
    } else if (t == QLatin1String("INTEGER")) {
        field.type = FieldType::Counter;
    } else if (auto m = varchar.match(t); m.hasMatch()) {
        field.type = FieldType::Text;
        field.size = m.captured(1).toInt();
    } else {
        return false;
    }
    return true;
}

QStringList createStatements(const QString &schema, const Layout &layout)
{
    QStringList columns;
    for (const FieldDef &f : layout.fields) {
        QString col = quoted(f.name) + QLatin1Char(' ') + declaredType(f);
        if (f.type == FieldType::Counter)
            col += QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
        else if (f.name == layout.primaryKeyField)
            col += QStringLiteral(" NOT NULL UNIQUE");
        else if (f.required)
            col += QStringLiteral(" NOT NULL");
        if (f.type == FieldType::Text)
            col += QStringLiteral(" COLLATE NOCASE");
        columns.append(col);
    }
    const QString table = quoted(schema) + QLatin1Char('.') + quoted(DataTableName);
    QStringList sql;
    sql.append(
        QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns.join(QStringLiteral(", "))));
    for (const IndexDef &index : layout.indexes) {
        QStringList cols;
        for (const QString &f : index.fields)
            cols.append(quoted(f));
        sql.append(QStringLiteral("CREATE INDEX %1.%2 ON %3 (%4)")
                       .arg(quoted(schema), quoted(index.name), quoted(DataTableName),
                           cols.join(QStringLiteral(", "))));
    }
    return sql;
}
