#include "query.h"

#include "engine.h"
#include "engineerror.h"
#include "money.h"
#include "recordrules.h"
#include "sqlbind.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

Query::Query(const QString &sql)
    : m_sql(sql)
{ }

Query::~Query()
{
    close();
}

namespace {
// What each column holds by its declared type: dates and amounts are read
// as such; an expression column has none.
struct ColumnKind
{
    bool date = false;
    bool money = false;
};

std::vector<ColumnKind> columnKinds(SQLite::Statement &stmt, int n)
{
    std::vector<ColumnKind> kinds(n);
    for (int i = 0; i < n; ++i) {
        try {
            const char *declared = stmt.getColumnDeclaredType(i);
            kinds[i].date = declared && qstricmp(declared, "DATE") == 0;
            kinds[i].money = declared && qstricmp(declared, "MONEY") == 0;
        } catch (const SQLite::Exception &) {
            // an expression column has no declared type
        }
    }
    return kinds;
}

QVariant readValue(const SQLite::Column &c, ColumnKind kind)
{
    if (c.isNull())
        return {};
    // A stored amount a file changed elsewhere holds as text, or beyond the
    // bound, is no figure: it reads as empty.
    if (kind.money
        && (!(c.isInteger() || c.isFloat()) || !RecordRules::isSoundAmount(c.getDouble())))
        return {};
    if (kind.date) {
        const QDate d = QDate::fromString(QString::fromUtf8(c.getText()), Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    if (c.isInteger())
        return qlonglong(c.getInt64());
    if (c.isFloat()) {
        // An infinite amount from a file changed elsewhere is no figure.
        const double d = c.getDouble();
        return std::isfinite(d) ? QVariant(d) : QVariant();
    }
    if (c.isBlob()) {
        // The only blobs are exact sums (ds_sum4).
        const QByteArrayView bytes(static_cast<const char *>(c.getBlob()), c.getBytes());
        const std::optional<Money> sum = Money::fromText(bytes);
        return sum ? sum->toVariant() : QVariant(bytes.toByteArray());
    }
    return QString::fromUtf8(c.getText());
}
} // namespace

QString Query::attachTables()
{
    Engine &engine = Engine::instance();
    static const QRegularExpression tableRef(QStringLiteral("\\{([^}]+)\\}"));
    QString sql;
    int last = 0;
    auto it = tableRef.globalMatch(m_sql);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString path = Engine::resolve(m.captured(1));
        if (!Engine::exists(path))
            throw EngineError(QStringLiteral("Table does not exist: %1").arg(m.captured(1)));
        const QString alias = engine.attach(path);
        m_attached.append(path);
        sql += m_sql.mid(last, m.capturedStart() - last) + Engine::quote(alias) + QLatin1Char('.')
            + Engine::quote(DataTableName);
        last = m.capturedEnd();
    }
    return sql + m_sql.mid(last);
}

void Query::open()
{
    if (m_open)
        return;
    try {
        const QString sql = attachTables();
        const std::unique_ptr<SQLite::Statement> prepared
            = prepareWithMoney(Engine::instance().db(), sql.toStdString());
        SQLite::Statement &stmt = *prepared;
        for (int i = 0; i < m_params.size(); ++i)
            bindVariant(stmt, i + 1, m_params[i]);
        m_columns.clear();
        const int n = stmt.getColumnCount();
        for (int i = 0; i < n; ++i)
            m_columns.append(QString::fromUtf8(stmt.getColumnName(i)));
        m_rows.clear();
        const std::vector<ColumnKind> kinds = columnKinds(stmt, n);
        while (stmt.executeStep()) {
            std::vector<QVariant> row(n);
            for (int i = 0; i < n; ++i)
                row[i] = readValue(stmt.getColumn(i), kinds[i]);
            m_rows.push_back(std::move(row));
        }
    } catch (const SQLite::Exception &e) {
        close();
        throw EngineError(Engine::instance().plainText(QString::fromUtf8(e.what())));
    } catch (...) {
        close();
        throw;
    }
    m_open = true;
}

void Query::close()
{
    for (const QString &path : std::as_const(m_attached))
        Engine::instance().detach(path);
    m_attached.clear();
    m_rows.clear();
    m_open = false;
}

void Query::setResult(const QStringList &columns, std::vector<std::vector<QVariant>> rows)
{
    close();
    m_columns = columns;
    m_rows = std::move(rows);
    for (std::vector<QVariant> &row : m_rows)
        row.resize(m_columns.size());
    m_open = true;
}

void Query::reopen()
{
    close();
    open();
}

int Query::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Query::value(int row, int column) const
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column >= m_columns.size())
        return {};
    return m_rows[row][column];
}

QVariant Query::value(int row, const QString &column) const
{
    return value(row, columnIndex(column));
}

void Query::setValue(int row, int column, const QVariant &value)
{
    if (row >= 0 && row < int(m_rows.size()) && column >= 0 && column < m_columns.size())
        m_rows[row][column] = value;
}

void Query::insertRow(int row, std::vector<QVariant> values)
{
    values.resize(m_columns.size());
    m_rows.insert(m_rows.begin() + std::clamp(row, 0, int(m_rows.size())), std::move(values));
}

void Query::removeRow(int row)
{
    if (row >= 0 && row < int(m_rows.size()))
        m_rows.erase(m_rows.begin() + row);
}
