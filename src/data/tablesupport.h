#pragma once

// Shared by the source files of the table handle only.

#include "engine.h"
#include "engineerror.h"
#include "money.h"
#include "sqlbind.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>

namespace TableSupport {
inline constexpr int CacheLimit = 4096;
inline constexpr int FetchBlock = 64;
// The first block after an opening or a reread: about a screen of a list.
inline constexpr int FirstFetchBlock = 24;

inline int characters(const QString &text)
{
    return int(
        std::count_if(text.begin(), text.end(), [](QChar c) { return !c.isLowSurrogate(); }));
}

// The hot paths talk to SQLite directly: the wrapper's column objects cost a
// shared-pointer round trip and a check per value read.
inline EngineError engineError(sqlite3 *db, int rc, const QString &path = {})
{
    return Engine::writeError(SQLite::Exception(db, rc), path);
}

inline sqlite3 *connection()
{
    return Engine::instance().db().getHandle();
}

inline void check(int rc)
{
    if (rc != SQLITE_OK)
        throw engineError(connection(), rc);
}

// Steps a statement; true while it gives rows.
inline bool step(sqlite3_stmt *stmt, const QString &path = {})
{
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const EngineError error = engineError(connection(), rc, path);
    sqlite3_reset(stmt);
    throw error;
}

inline void bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else if (value.metaType() == QMetaType::fromType<Money>()) {
        rc = bindMoney(stmt, index, value.value<Money>());
    } else {
        switch (value.typeId()) {
        case QMetaType::QDate: {
            const QByteArray text = value.toDate().toString(Qt::ISODate).toUtf8();
            rc = sqlite3_bind_text(
                stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt, index, value.toDouble());
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
            break;
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(
                stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    check(rc);
}

// Stored dates are "YYYY-MM-DD"; reading them is on the path of every scan.
inline QDate isoDate(const char *text, int size)
{
    if (size != 10 || text[4] != '-' || text[7] != '-')
        return QDate::fromString(QString::fromUtf8(text, size), Qt::ISODate);
    int parts[3] = { 0, 0, 0 };
    const int starts[3] = { 0, 5, 8 };
    const int lengths[3] = { 4, 2, 2 };
    for (int p = 0; p < 3; ++p)
        for (int i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return {};
            parts[p] = parts[p] * 10 + (text[i] - '0');
        }
    return QDate(parts[0], parts[1], parts[2]);
}

// A column read as the field it is; a value in the wrong form reads as empty.
QVariant columnValue(sqlite3_stmt *stmt, int column, const FieldDef &field);

// SQLite's NOCASE: ASCII letters folded, then byte order of the UTF-8 text.
inline int compareNoCase(const QString &a, const QString &b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    const int n = std::min(x.size(), y.size());
    for (int i = 0; i < n; ++i) {
        unsigned char cx = static_cast<unsigned char>(x[i]);
        unsigned char cy = static_cast<unsigned char>(y[i]);
        if (cx >= 'A' && cx <= 'Z')
            cx += 32;
        if (cy >= 'A' && cy <= 'Z')
            cy += 32;
        if (cx != cy)
            return cx < cy ? -1 : 1;
    }
    return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

// Order of stored values as SQLite sorts them: empty first, then numbers, then text.
inline int compareValues(const QVariant &a, const QVariant &b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    auto isText = [](const QVariant &v) {
        return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QDate;
    };
    const bool at = isText(a), bt = isText(b);
    if (at != bt)
        return at ? 1 : -1;
    if (at) {
        const QString sa
            = a.typeId() == QMetaType::QDate ? a.toDate().toString(Qt::ISODate) : a.toString();
        const QString sb
            = b.typeId() == QMetaType::QDate ? b.toDate().toString(Qt::ISODate) : b.toString();
        return compareNoCase(sa, sb);
    }
    const double da = a.toDouble(), db = b.toDouble();
    return da < db ? -1 : (da > db ? 1 : 0);
}
} // namespace TableSupport
