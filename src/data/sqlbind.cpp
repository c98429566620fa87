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
    case QMetaType::QDate:
        stmt.bind(index, value.toDate().toString(Qt::ISODate).toStdString());
        break;
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
