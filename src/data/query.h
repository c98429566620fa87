#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

// A read-only result of one SQL statement over table files. Tables are named
// by file in braces ({schedule.DB}); each is attached while the query is open.
class Query
{
public:
    explicit Query(const QString &sql = {});
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    void setSql(const QString &sql) { m_sql = sql; }
    QString sql() const { return m_sql; }
    // Values for the statement's ? marks, in their stored form (a filter's params).
    void setParams(const QList<QVariant> &params) { m_params = params; }
    void open();
    void close();
    // Close if open, then open: runs the statement again.
    void reopen();
    bool isOpen() const { return m_open; }

    int rowCount() const { return int(m_rows.size()); }
    const QStringList &columns() const { return m_columns; }
    int columnIndex(const QString &name) const; // -1 when missing
    QVariant value(int row, int column) const;
    QVariant value(int row, const QString &column) const;

    // Open with rows the caller already has (the statement's result, taken
    // by another pass), without running the statement; reopen() runs it.
    void setResult(const QStringList &columns, std::vector<std::vector<QVariant>> rows);
    // For a caller that keeps the rows up to date itself between re-runs.
    void setValue(int row, int column, const QVariant &value);
    void insertRow(int row, std::vector<QVariant> values);
    void removeRow(int row);

private:
    // Attaches the tables the statement names in braces; the statement with
    // each brace replaced by its attached table.
    QString attachTables();

    QString m_sql;
    QList<QVariant> m_params;
    bool m_open = false;
    QStringList m_attached;
    QStringList m_columns;
    std::vector<std::vector<QVariant>> m_rows;
};
