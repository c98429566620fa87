// The table handle: where a record belongs in the view (case-insensitive
// order of the index fields, the filter).

#include "table.h"
#include "tablesupport.h"

#include "engine.h"
#include "engineerror.h"
#include "filter.h"
#include "sqlerror.h"

#include <QDate>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace TableSupport;

int Table::compareRecords(
    const std::vector<QVariant> &a, qint64 ka, const std::vector<QVariant> &b, qint64 kb) const
{
    for (int idx : m_orderIdx) {
        const bool locale = m_localeOrder && m_fields[idx].type == FieldType::Text
            && !a[idx].isNull() && !b[idx].isNull();
        const int c = locale ? Engine::localeCompare(a[idx].toString(), b[idx].toString())
                             : compareValues(a[idx], b[idx]);
        if (c != 0)
            return c;
    }
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

bool Table::matchesFilter(qint64 key) const
{
    if (m_where.isEmpty())
        return true;
    if (!m_filterCheck)
        m_filterCheck
            = prepare(QStringLiteral("SELECT 1 FROM %1.%2 WHERE rowid=? AND (%3)")
                          .arg(Engine::quote(m_alias), Engine::quote(DataTableName), m_where));
    sqlite3_stmt *stmt = m_filterCheck.get();
    sqlite3_reset(stmt);
    check(sqlite3_bind_int64(stmt, 1, key));
    for (int i = 0; i < m_whereParams.size(); ++i)
        bindValue(stmt, i + 2, m_whereParams[i]);
    const bool matches = step(stmt);
    sqlite3_reset(stmt);
    return matches;
}

// Puts a posted record at its place in the order without re-reading every key.
void Table::placeKey(qint64 key, bool wasInView, int oldPos)
{
    if (wasInView && oldPos >= 0 && oldPos < int(m_keys.size()))
        m_keys.erase(m_keys.begin() + oldPos);
    if (!matchesFilter(key)) {
        const int row = m_keys.empty() ? -1 : std::clamp(oldPos, 0, int(m_keys.size()) - 1);
        m_cur = -2;
        notifyReset();
        setCurrent(row);
        return;
    }
    const std::vector<QVariant> values = fetch(key).values;
    size_t lo = 0, hi = m_keys.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (compareRecords(fetch(m_keys[mid]).values, m_keys[mid], values, key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    m_keys.insert(m_keys.begin() + lo, key);
    m_cur = -2;
    notifyReset();
    setCurrent(int(lo));
}
