#pragma once

#include "app/listwindow.h"

#include <memory>

class ItemGrid;
class Query;
class QTableView;
class Table;
class SummaryModel;

// The pay-bills wizard: the marked items with their totals; Next pays them all
// in one run and hands the next occurrences to the reschedule screen.
class TFrmPayit : public ListWindow
{
    Q_OBJECT
public:
    explicit TFrmPayit(QWidget *parent = nullptr);
    ~TFrmPayit() override;

    Table *TableSched;
    Table *TableHistory;
    Table *TableResched;
    Table *TablePayee;
    std::unique_ptr<Query> QueryPaydateChecked;
    ItemGrid *DBGridSched;
    QTableView *DBGridCheckedTot;

    int exec() override;
    void done(int result) override;
    // Next: pays every marked item; true when the run went through.
    bool ProcessNowClick();
    void refreshTotals();

private:
    void openTables();
    void closeTables();

    SummaryModel *m_totals;
    bool m_running = false;
};
