#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QVariant>

#include <array>
#include <functional>

class Query;
class Table;
class QTableView;

// Rows of one summary query (totals by payment mark or by due date), with the
// remainder of each row worked out from its two totals.
class SummaryModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Column
    {
        QString field;
        QString title;
        int width = 64;
    };

    SummaryModel(Query *query, const QList<Column> &columns, QObject *parent = nullptr);

    const QList<Column> &columns() const { return m_columns; }
    QString fieldName(int column) const;
    // The query was re-opened: the rows are read again.
    void reset();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    // Qt::UserRole of a horizontal section gives the column's field name.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QVariant value(int row, const QString &field) const;

    Query *m_query;
    QList<Column> m_columns;
    int m_rows = 0;
};

// The three rows of the aging table, titled by the table's display labels.
class AgingModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit AgingModel(Table *table, QObject *parent = nullptr);

    static QStringList fieldNames();
    void titlesChanged();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void resync();

    Table *m_table;
    int m_rows = 0;
};

// Draws the payment mark and the due-date markers of the summary grids.
class SummaryDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    SummaryDelegate(std::function<int()> interval, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;

private:
    std::function<int()> m_interval;
};

namespace Aging {
// Sums per bucket 0..4 and their total (index 5), in ten-thousandths.
struct Sums
{
    std::array<qint64, 6> income{};
    std::array<qint64, 6> expense{};
};

// One amount in ten-thousandths, rounded half away from zero.
qint64 toFixed(double amount);

// Sums the schedule's amounts into the urgency buckets of their due dates
// (an empty due date counts as past due) with one aggregate statement.
Sums compute(const QString &scheduleFile, int interval, const QDateTime &now);

// Replaces the rows of the aging table by Income, Expense and Total.
void write(Table *ageTable, const Sums &sums);

// Titles of Type, Amount0 .. Amount5 for an interval.
QStringList titles(int interval);
void setTitles(Table *ageTable, int interval);
} // namespace Aging

// The models and delegates of the main window's summary grids.
class SummaryViews : public QObject
{
    Q_OBJECT
public:
    SummaryViews(Query *totals, Query *dueDateTotals, Table *ageTable,
        std::function<int()> interval, QObject *parent);

    void attach(QTableView *payDate, QTableView *dueDate, QTableView *age);

    SummaryModel *payNow() const { return m_payNow; }
    SummaryModel *dueDate() const { return m_dueDate; }
    AgingModel *aging() const { return m_aging; }

private:
    SummaryModel *m_payNow;
    SummaryModel *m_dueDate;
    AgingModel *m_aging;
    SummaryDelegate *m_delegate;
};
