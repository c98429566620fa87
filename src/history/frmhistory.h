#pragma once

#include <QDialog>
#include <QList>

#include <memory>

class FormStorage;
class ItemGrid;
class QAction;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QMenuBar;
class QShowEvent;
class QTimer;
class QToolBar;
class Table;

// The paid items of history.DB: a read-only list that can be sorted by any
// column and from which single records or the whole history can be deleted.
class TFrmHistory : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmHistory(QWidget *parent = nullptr);
    ~TFrmHistory() override;

    Table *TableSched;
    ItemGrid *DBGridSched;
    QLabel *LabelSort;
    // The history tip switch; the tip window reads and writes it.
    QCheckBox *CheckBoxToolTip;

    // Opening steps, run each time the window is shown.
    void FormShow();
    void SpeedItemDeleteClick();
    void DeleteAllRecordsClick();
    void ReportsClick();
    void CalculatorClick();
    void ToolTipClick();
    void TimerToolTipTimer();

    FormStorage *formStorage() const { return m_storage.get(); }
    QString recordText() const;
    QString modeText() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildActions();
    void buildLayout();
    void wireGrid();
    void setFieldLabels();
    void updateStatus();
    void updateActions();
    void reopenShared();

    QTimer *TimerToolTip;
    QLabel *m_recordLabel;
    QLabel *m_modeLabel;
    QAction *m_actDelete = nullptr;
    QAction *m_actReports = nullptr;
    QAction *m_actExport = nullptr;
    QAction *m_actCalc = nullptr;
    QList<QAction *> m_reportEntries;
    QList<QAction *> m_exportEntries;
    QMenuBar *m_menuBar = nullptr;
    QToolBar *m_toolBar = nullptr;
    std::unique_ptr<FormStorage> m_storage;
};
