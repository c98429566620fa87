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
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
    // The rows changed in place: with as many rows as before only the cells
    // are drawn again, so the grid keeps its layout.
    void rowsChanged();

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

// The last date of buckets 0 to 3 as stored text, for one interval and day.
struct Cutoffs
{
    std::string ends[4];
};
Cutoffs cutoffs(int interval, const QDate &today);
// The bucket of a due date, found by the same text comparison the aggregate makes.
int bucket(const QVariant &due, const Cutoffs &cutoffs);
// Adds (sign 1) or takes away (sign -1) one record's amounts, totals included.
void add(Sums &sums, const Cutoffs &cutoffs, const QVariant &due, const QVariant &bill,
    const QVariant &pay, int sign);

// Sums the schedule's amounts into the urgency buckets of their due dates
// (an empty due date counts as past due) with one aggregate statement.
Sums compute(const QString &scheduleFile, int interval, const QDateTime &now);

// Replaces the rows of the aging table by Income, Expense and Total.
void write(Table *ageTable, const Sums &sums);
// The three rows as the aging table holds them: Type, Amount0 .. Amount5.
QList<QVariantList> rows(const Sums &sums);

// Writes the amounts of the aging rows on a thread of its own, so the durable
// commit of a second file does not hold up the window after every save. The
// rows must be in place (as write() leaves them); the latest sums win.
class Writer
{
public:
    Writer();
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Queues the sums for the aging table file; pragmas give its journal and sync settings.
    void post(const QString &path, const std::string &pragmas, const Sums &sums);
    // Waits until everything queued is on file; false when a write failed
    // (the rows on file are then not the sums: write them again).
    bool flush();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_pending = false;
    bool m_busy = false;
    bool m_stop = false;
    bool m_failed = false;
    std::string m_path;
    std::string m_pragmas;
    Sums m_sums;
    std::thread m_thread; // last: it starts once everything above is in place
};

// Titles of Type, Amount0 .. Amount5 for an interval.
QStringList titles(int interval);
void setTitles(Table *ageTable, int interval);
} // namespace Aging

// Keeps the rows of a totals query over the schedule (grouped by its first
// column, with the counts of bill amounts, pay amounts and items beside the
// sums) up to date as one record leaves (sign -1) or joins (sign 1) it.
// Returns false when the rows do not agree with the record; the query must be
// run again then.
namespace Totals {
bool apply(Query &query, const Table &schedule, const std::vector<QVariant> &record, int sign);
}

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

    // The aging sums last computed, with the interval and day they hold for.
    struct AgingState
    {
        bool known = false;
        int interval = 0;
        QDate day;
        Aging::Sums sums;
    };
    AgingState agingState;
    Aging::Writer agingWriter;
    std::string agingPragmas; // the engine's journal and sync settings for age.db

private:
    SummaryModel *m_payNow;
    SummaryModel *m_dueDate;
    AgingModel *m_aging;
    SummaryDelegate *m_delegate;
};
