#pragma once

#include "app/listwindow.h"

#include <QList>

class ItemGrid;
class QAction;
class QShowEvent;
class Table;

// The paid items of history.DB: a read-only list that can be sorted by any
// column and from which single records or the whole history can be deleted.
class TFrmHistory : public ListWindow
{
    Q_OBJECT
public:
    explicit TFrmHistory(QWidget *parent = nullptr);
    ~TFrmHistory() override;

    Table *TableSched;
    ItemGrid *DBGridSched;

    // Opening steps, run each time the window is shown.
    void FormShow();
    void SpeedItemDeleteClick();
    void DeleteAllRecordsClick();
    void ReportsClick();
    void ExportClick();
    void CalculatorClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildActions();
    void wireGrid();
    void setFieldLabels();
    void updateActions();
    void reopenShared();

    QAction *m_actDelete = nullptr;
    QAction *m_actReports = nullptr;
    QAction *m_actExport = nullptr;
    QAction *m_actCalc = nullptr;
    QList<QAction *> m_reportEntries;
    QList<QAction *> m_exportEntries;
};
