#include "newitem.h"

#include "data/engineerror.h"

const QStringList &NewItem::blankFields()
{
    static const QStringList fields{ QStringLiteral("Description"), QStringLiteral("Frequency"),
        QStringLiteral("Units") };
    return fields;
}

QList<std::pair<QString, QVariant>> NewItem::defaults(const QString &warnDays)
{
    bool ok = false;
    const int warn = warnDays.trimmed().toInt(&ok);
    if (!ok)
        throw EngineError(QStringLiteral("'%1' is not a valid integer value").arg(warnDays));
    QList<std::pair<QString, QVariant>> values;
    // No warning is the same as a warning of none: the field stays empty.
    if (warn >= 1)
        values.append({ QStringLiteral("Warning Days"), warn });
    values.append({ QStringLiteral("Frequency"), 1 });
    values.append({ QStringLiteral("Units"), QStringLiteral("Months") });
    return values;
}
