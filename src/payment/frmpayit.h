#pragma once

#include <QDialog>

class FormStorage;
class ItemGrid;
class Query;
class QCheckBox;
class QLabel;
class QTableView;
class Table;
class SummaryModel;

// The pay-bills wizard: the marked items with their totals; Next pays them all
// in one run and hands the next occurrences to the reschedule screen.
class TFrmPayit : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmPayit(QWidget *parent = nullptr);
    ~TFrmPayit() override;

    Table *TableSched;
    Table *TableHistory;
    Table *TableResched;
    Table *TablePayee;
    Query *QueryPaydateChecked;
    ItemGrid *DBGridSched;
    QTableView *DBGridCheckedTot;
    QCheckBox *CheckBoxToolTip;
    QLabel *LabelSort;

    int exec() override;
    void done(int result) override;
    // Next: pays every marked item; true when the run went through.
    bool ProcessNowClick();
    void ToolTipClick();
    void refreshTotals();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openTables();
    void closeTables();
    void updateStatus();

    QLabel *m_modeLabel;
    SummaryModel *m_totals;
    FormStorage *m_storage;
    bool m_running = false;
};
