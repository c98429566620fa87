#include "sqlbind.h"

#include <QDate>

#include <SQLiteCpp/Statement.h>

void bindVariant(SQLite::Statement &stmt, int index, const QVariant &value)
{
    if (value.isNull()) {
        stmt.bind(index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QDate: {
        // A date without an ISO text (a year outside 1 to 9999) is no date: empty is NULL.
        const QString iso = value.toDate().toString(Qt::ISODate);
        if (iso.isEmpty() || value.toDate().year() < 1)
            stmt.bind(index);
        else
            stmt.bind(index, iso.toStdString());
        break;
    }
    case QMetaType::Double:
        stmt.bind(index, value.toDouble());
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Bool:
        stmt.bind(index, static_cast<int64_t>(value.toLongLong()));
        break;
    default:
        stmt.bind(index, value.toString().toStdString());
        break;
    }
}
