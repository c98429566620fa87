#include "itemfields.h"

#include <QHash>

namespace {
bool hasType(const QString &field, FieldType type)
{
    const FieldDef *def = ItemFields::definition(field);
    return def && def->type == type;
}
} // namespace

const FieldDef *ItemFields::definition(const QString &field)
{
    // Asked for every cell painted: a lookup by the exact spelling first.
    static const QHash<QString, const FieldDef *> byName = [] {
        QHash<QString, const FieldDef *> names;
        for (const FieldDef &def : Layouts::item().fields)
            names.insert(def.name, &def);
        return names;
    }();
    if (const FieldDef *def = byName.value(field))
        return def;
    return Layouts::item().field(field);
}

const QStringList &ItemFields::entered()
{
    static const QStringList fields = { QStringLiteral("Pay Date"), QStringLiteral("Due Date"),
        QStringLiteral("Description"), QStringLiteral("Bill Amount"), QStringLiteral("Pay Amount"),
        QStringLiteral("Frequency"), QStringLiteral("Units"), QStringLiteral("End Date"),
        QStringLiteral("Warning Days"), QStringLiteral("Budget"), QStringLiteral("Balance"),
        userField(1), userField(2), userField(3), userField(4) };
    return fields;
}

const QStringList &ItemFields::stored()
{
    static const QStringList fields
        = entered() + QStringList{ QStringLiteral("Process Date"), QStringLiteral("PayNow") };
    return fields;
}

QString ItemFields::userField(int n)
{
    return QStringLiteral("User Field %1").arg(n);
}

bool ItemFields::isDate(const QString &field)
{
    return hasType(field, FieldType::Date);
}

bool ItemFields::isMoney(const QString &field)
{
    return hasType(field, FieldType::Money);
}

bool ItemFields::isEntryAmount(const QString &field)
{
    return field == QLatin1String("Bill Amount") || field == QLatin1String("Pay Amount");
}

bool ItemFields::isBanded(const QString &field)
{
    return field == QLatin1String("Due Date") || field == QLatin1String("Pay Date");
}
