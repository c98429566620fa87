#include "newitem.h"

const QStringList &NewItem::blankFields()
{
    static const QStringList fields{ QStringLiteral("Description"), QStringLiteral("Frequency"),
        QStringLiteral("Units") };
    return fields;
}

QList<std::pair<QString, QVariant>> NewItem::defaults(int warnDays)
{
    QList<std::pair<QString, QVariant>> values;
    // No warning is the same as a warning of none: the field stays empty.
    if (warnDays >= 1)
        values.append({ QStringLiteral("Warning Days"), warnDays });
    values.append({ QStringLiteral("Frequency"), 1 });
    values.append({ QStringLiteral("Units"), QStringLiteral("Months") });
    return values;
}
