#pragma once

#include <QMainWindow>
#include <QVariant>

#include <memory>
#include <vector>

class FormStorage;
class ItemGrid;
class Query;
class QAction;
class QMenuBar;
class QLabel;
class StatusLine;
class SummaryService;
class SummaryViews;
class QSplitter;
class QTableView;
class QTimer;
class DataFolderStartup;
class Table;

// The main window: the scheduled items and their summaries. It stores the
// user's options with its own settings.
class TfrmSched : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmSched(QWidget *parent = nullptr);
    ~TfrmSched() override;

    // Upgrade, open the tables, arm the start-up timer. Returns false when it
    // stopped on an error (already shown); the window must not be shown then.
    bool FormCreate();

    // Tables and queries.
    Table *TableSched;
    Table *TableSched2;
    Table *Tableresched;
    Table *TableAge;
    Table *TablePayee;
    std::unique_ptr<Query> QueryTotals;
    std::unique_ptr<Query> QueryDuedateTotals;

    // The lists.
    ItemGrid *DBGridSched;
    QTableView *DBGridPayDate = nullptr;
    QTableView *DBGridDueDate = nullptr;
    QTableView *DBGridAge = nullptr;
    QLabel *LabelSort;

    // Toolbar and menu actions.
    void SpeedItemNewClick();
    void SpeedItemCopyClick();
    void SpeedItemDeleteClick();
    void SpeedItem5Click();
    void SpeedItem1Click();
    void SpeedItemCalcClick();
    void SpeedItem2Click();
    void HistoryClick();
    void BackupClick();
    void ExportClick();
    void ImportClick();
    void OptionsClick();
    void ToolTipClick();
    void AboutClick();

    // Summaries.
    // The full path: both totals queries run again over the whole schedule.
    void reopenSummaryQueries();
    void UpdateDueTotals();
    // Waits until the aging rows on file are the ones shown (they follow a
    // change on a thread of their own); done before another window may read them.
    void flushAgingWrites();
    void LoadPayeePickList();
    // Display labels of the list's fields, from the user's titles.
    void setFieldLabels();
    // Re-reads the list, the summaries and the aging after another window changed the schedule.
    void refreshAfterPayment();
    // Windows that arrive later enable their entries.
    void updateActions();

    // Start-up step: builds the overdue list and shows the reminder when it holds items.
    void showOverdueReminder();
    void Timer1Timer();
    bool startupDone() const { return m_startupDone; }
    FormStorage *formStorage() const { return m_storage.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildLayout();
    void buildLowerPanel();
    void buildActions();
    void buildToolActions();
    void buildRecordMenus(QMenuBar *menus);
    void buildToolsMenu(QMenuBar *menus);
    void buildHelpMenu(QMenuBar *menus);
    void buildSummaries();
    void wireTable();
    void updateStatus();
    bool FormCloseQuery();
    // Posts what the user typed, or drops a new record that holds only its
    // defaults; false when the post was refused.
    bool settleEdit();
    void FormClose();
    void showModal(QDialog *dialog);
    // Gives the keyboard back to the list after a window over this one has closed.
    void takeKeyboardBack();
    // The introduction prompt over the introduction switch of the options.
    void askIntroduction();

    QTimer *Timer1;
    std::unique_ptr<StatusLine> m_status;
    QSplitter *m_outerSplitter = nullptr;
    QSplitter *m_lowerSplitter = nullptr;
    QSplitter *m_summarySplitter = nullptr;
    QWidget *Panel3 = nullptr;
    QWidget *Panel1 = nullptr;
    QWidget *PanelExpenseAging = nullptr;
    QLabel *m_ageStatus = nullptr;

    QAction *m_actNew = nullptr;
    QAction *m_actCopy = nullptr;
    QAction *m_actDelete = nullptr;
    QAction *m_actPay = nullptr;
    QAction *m_actPayees = nullptr;
    QAction *m_actCalc = nullptr;
    QAction *m_actReports = nullptr;
    QAction *m_actHistory = nullptr;
    QAction *m_actBackup = nullptr;
    QAction *m_actExport = nullptr;
    QAction *m_actOptions = nullptr;
    QAction *m_importEntry = nullptr;
    QList<QAction *> m_payeeEntries, m_reportEntries, m_historyEntries, m_backupEntries,
        m_exportEntries, m_optionEntries;

    std::unique_ptr<FormStorage> m_storage;
    std::unique_ptr<DataFolderStartup> m_dataFolder; // holds the folder lock
    // Models and helpers of the summary grids (owned as children).
    SummaryService *m_summaryService = nullptr;
    SummaryViews *m_summaries = nullptr;
    bool m_created = false;
    bool m_startupDone = false;
    bool m_closing = false;
};
