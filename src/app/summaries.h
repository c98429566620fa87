#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "textcell.h"

#include <functional>

class Query;
class SummaryService;
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

    Query *query() const { return m_query; }
    const QList<Column> &columns() const { return m_columns; }
    QString fieldName(int column) const;
    // The query was re-opened: the rows are read again.
    void reset();
    // Rows changed in place, all of them between the two given (a group that
    // went and one that came shift those between): with as many rows as
    // before only they are drawn again, so the grid keeps its layout.
    void rowsChanged(int from, int to);

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
    // Shows these rows (Type, Amount0 .. Amount5 each) instead of the table's:
    // the sums the window holds, which reach the file a moment later.
    void showRows(const QList<QVariantList> &rows);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void resync();
    QVariant cell(int row, int column) const;

    Table *m_table;
    int m_rows = 0;
    QList<QVariantList> m_shown;
};

// Draws the payment mark and the due-date markers of the summary grids.
class SummaryDelegate : public TextCellDelegate
{
    Q_OBJECT
public:
    SummaryDelegate(std::function<int()> interval, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;

private:
    std::function<int()> m_interval;
};

// The models and delegates of the main window's summary grids; the models
// follow the summary service.
class SummaryViews : public QObject
{
    Q_OBJECT
public:
    SummaryViews(SummaryService *service, Query *totals, Query *dueDateTotals, Table *ageTable,
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
