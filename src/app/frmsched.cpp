#include "frmsched.h"

#include "calendarexport.h"
#include "chrome.h"
#include "coloredheader.h"
#include "datafolderstartup.h"
#include "daywatch.h"
#include "desttabledlg.h"
#include "formstorage.h"
#include "itemgrid.h"
#include "itemrules.h"
#include "listwindow.h"
#include "urgency.h"
#include "windows.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/itemfields.h"
#include "data/query.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/calculator.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmintro.h"
#include "domain/options.h"
#include "domain/summaryservice.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

TfrmSched::TfrmSched(QWidget *parent)
    : QMainWindow(parent)
    , TableSched(new Table(TableFiles::Schedule, this))
    , TableSched2(new Table(TableFiles::Schedule, this))
    , Tableresched(new Table(TableFiles::Resched, this))
    , TableAge(new Table(TableFiles::Aging, this))
    , TablePayee(new Table(TableFiles::Payee, this))
    , QueryTotals(std::make_unique<Query>())
    , QueryDuedateTotals(std::make_unique<Query>())
    , DBGridSched(new ItemGrid)
    , LabelSort(new QLabel(QStringLiteral("Sorted by Due Date")))
    , Timer1(new QTimer(this))
{
    Windows::frmSched = this;
    setObjectName(QStringLiteral("frmSched"));
    setWindowTitle(QStringLiteral("Duesmith"));
    resize(661, 498);

    TableSched->setIndexName(TableFiles::DueDateIndex);
    TableSched2->setIndexFieldNames(QStringLiteral("Due Date;Description"));
    TableSched2->setReadOnly(true);
    Tableresched->setIndexFieldNames(QStringLiteral("Due Date;Description"));
    TableAge->setIndexFieldNames(QStringLiteral("Order"));
    TablePayee->setReadOnly(true);

    // A main window starts from the design values; its storage brings back the user's.
    OptionsStore::instance().reset();
    connect(&OptionsStore::instance(), &OptionsStore::changed, this, [this](const Options &) {
        if (m_startupDone)
            setFieldLabels();
    });

    Timer1->setSingleShot(true);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &TfrmSched::Timer1Timer);

    buildActions();
    buildLayout();
    wireTable();

    m_storage = std::make_unique<FormStorage>(this, QStringLiteral("TfrmSched"),
        FormStorage::Placement(FormStorage::State | FormStorage::Position | FormStorage::Focus));
    for (const OptionsStore::Value &value : OptionsStore::instance().values())
        m_storage->addProperty(value.name, value.get, value.set);
    auto sizes = [](QSplitter *s) { return s->sizes(); };
    m_storage->addIntProperty(
        QStringLiteral("Panel3_Height"), [this, sizes] { return sizes(m_outerSplitter).value(1); },
        [this](int h) {
            const int total = m_outerSplitter->height() > 0 ? m_outerSplitter->height() : 498;
            m_outerSplitter->setSizes({ std::max(1, total - h), std::max(66, h) });
        });
    m_storage->addIntProperty(
        QStringLiteral("PanelExpenseAging_Height"),
        [this, sizes] { return sizes(m_lowerSplitter).value(1); },
        [this](int h) {
            const int total = std::max(m_lowerSplitter->height(), 210);
            m_lowerSplitter->setSizes({ std::max(1, total - h), std::max(39, h) });
        });
    m_storage->addIntProperty(
        QStringLiteral("Panel1_Width"), [this, sizes] { return sizes(m_summarySplitter).value(0); },
        [this](int w) {
            const int total = std::max(m_summarySplitter->width(), 661);
            m_summarySplitter->setSizes({ w, std::max(1, total - w) });
        });
    m_storage->addGrid(DBGridSched, QStringLiteral("DBGridSched"),
        [this](int column) { return DBGridSched->itemModel()->fieldName(column); });
    auto modelField = [](QTableView *grid) {
        return [grid](int column) {
            return grid->model()
                ? grid->model()->headerData(column, Qt::Horizontal, Qt::UserRole).toString()
                : QString();
        };
    };
    m_storage->addGrid(DBGridPayDate, QStringLiteral("DBGridPayDate"), modelField(DBGridPayDate));
    m_storage->addGrid(DBGridDueDate, QStringLiteral("DBGridDueDate"), modelField(DBGridDueDate));
    m_storage->addGrid(DBGridAge, QStringLiteral("DBGridAge"), modelField(DBGridAge));
    m_storage->attach();

    updateActions();
}

TfrmSched::~TfrmSched()
{
    // The children outlive this destructor briefly; nothing they signal may reach it.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
    if (Windows::frmSched == this)
        Windows::frmSched = nullptr;
}

namespace {
// A menu entry that runs a slot of the window, or a function.
template <typename Slot>
QAction *addEntry(TfrmSched *window, QMenu *menu, const QString &text, Slot slot)
{
    QAction *a = menu->addAction(text);
    QObject::connect(a, &QAction::triggered, window, slot);
    return a;
}
} // namespace

void TfrmSched::buildActions()
{
    buildToolActions();
    QMenuBar *menus = menuBar();
    buildRecordMenus(menus);
    buildToolsMenu(menus);
    buildHelpMenu(menus);
    // A toolbar button is disabled with its menu entry.
    m_payeeEntries.append(m_actPayees);
    m_reportEntries.append(m_actReports);
    m_historyEntries.append(m_actHistory);
    m_backupEntries.append(m_actBackup);
    m_exportEntries.append(m_actExport);
    m_optionEntries.append(m_actOptions);
}

void TfrmSched::buildToolActions()
{
    using G = Chrome::Glyph;
    auto make = [this](const QString &text, const QString &tip, G icon, void (TfrmSched::*slot)()) {
        auto *a = new QAction(Chrome::glyph(icon), text, this);
        a->setToolTip(tip);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    m_actNew = make(QStringLiteral("New"), QStringLiteral("Create a New Record"), G::New,
        &TfrmSched::SpeedItemNewClick);
    m_actNew->setObjectName(QStringLiteral("SpeedItemNew"));
    m_actCopy = make(QStringLiteral("Copy"), QStringLiteral("Create New Copy of this Record"),
        G::Copy, &TfrmSched::SpeedItemCopyClick);
    m_actCopy->setObjectName(QStringLiteral("SpeedItemCopy"));
    m_actDelete = make(QStringLiteral("Delete"), QStringLiteral("Delete a Record"), G::Delete,
        &TfrmSched::SpeedItemDeleteClick);
    m_actDelete->setObjectName(QStringLiteral("SpeedItemDelete"));
    m_actPay = make(QStringLiteral("Pay Bills"), QStringLiteral("Pay Bills"), G::PayBills,
        &TfrmSched::SpeedItem5Click);
    m_actPay->setObjectName(QStringLiteral("SpeedItem5"));
    m_actPayees = make(QStringLiteral("Payees"), QStringLiteral("Memorized Payee List"), G::Payees,
        &TfrmSched::SpeedItem1Click);
    m_actPayees->setObjectName(QStringLiteral("SpeedItem1"));
    m_actCalc = make(QStringLiteral("Calculator"), QStringLiteral("Calculator"), G::Calculator,
        &TfrmSched::SpeedItemCalcClick);
    m_actCalc->setObjectName(QStringLiteral("SpeedItemCalc"));
    m_actReports = make(QStringLiteral("Reports"), QStringLiteral("View Reports"), G::Reports,
        &TfrmSched::SpeedItem2Click);
    m_actReports->setObjectName(QStringLiteral("SpeedItem2"));
    m_actHistory = make(
        QStringLiteral("History"), QStringLiteral("History"), G::History, &TfrmSched::HistoryClick);
    m_actHistory->setObjectName(QStringLiteral("History"));
    m_actBackup = make(QStringLiteral("Backup"), QStringLiteral("Backup/Restore"), G::Backup,
        &TfrmSched::BackupClick);
    m_actBackup->setObjectName(QStringLiteral("Backup"));
    m_actExport = make(
        QStringLiteral("Export"), QStringLiteral("Export"), G::Export, &TfrmSched::ExportClick);
    m_actExport->setObjectName(QStringLiteral("Export"));
    m_actOptions = make(
        QStringLiteral("Options"), QStringLiteral("Options"), G::Options, &TfrmSched::OptionsClick);
    m_actOptions->setObjectName(QStringLiteral("Options"));

    QToolBar *bar = Chrome::toolBar(this);
    addToolBar(bar);
    for (QAction *a : { m_actNew, m_actCopy, m_actDelete, m_actPay, m_actPayees, m_actCalc,
             m_actReports, m_actHistory, m_actBackup, m_actExport, m_actOptions })
        bar->addAction(a);
}

void TfrmSched::buildRecordMenus(QMenuBar *menus)
{
    QMenu *file = menus->addMenu(QStringLiteral("&File"));
    m_reportEntries.append(
        addEntry(this, file, QStringLiteral("View &Reports"), &TfrmSched::SpeedItem2Click));
    m_importEntry = addEntry(this, file, QStringLiteral("&Import…"), &TfrmSched::ImportClick);
    file->addSeparator();
    addEntry(this, file, QStringLiteral("E&xit"), [this] { close(); });

    QMenu *record = menus->addMenu(QStringLiteral("&Record"));
    addEntry(this, record, QStringLiteral("&New Record"), &TfrmSched::SpeedItemNewClick);
    addEntry(this, record, QStringLiteral("&Create a Copy of Selected Record"),
        &TfrmSched::SpeedItemCopyClick);
    addEntry(this, record, QStringLiteral("D&elete Record"), &TfrmSched::SpeedItemDeleteClick);
    record->addSeparator();
    addEntry(this, record, QStringLiteral("&Pay Bills Now..."), &TfrmSched::SpeedItem5Click);
    m_historyEntries.append(
        addEntry(this, record, QStringLiteral("View &History..."), &TfrmSched::HistoryClick));
}

void TfrmSched::buildToolsMenu(QMenuBar *menus)
{
    QMenu *tools = menus->addMenu(QStringLiteral("&Tools"));
    m_backupEntries.append(
        addEntry(this, tools, QStringLiteral("&Backup/Restore"), &TfrmSched::BackupClick));
    m_exportEntries.append(
        addEntry(this, tools, QStringLiteral("&Export"), &TfrmSched::ExportClick));
    addEntry(this, tools, QStringLiteral("&Calculator"), &TfrmSched::SpeedItemCalcClick);
    m_payeeEntries.append(
        addEntry(this, tools, QStringLiteral("&Payee List"), &TfrmSched::SpeedItem1Click));
    m_optionEntries.append(
        addEntry(this, tools, QStringLiteral("&Options"), &TfrmSched::OptionsClick));
    tools->addSeparator();
    auto openPlanning = [this](QDialog *window) {
        if (window && DBGridSched->postPending())
            showModal(window);
    };
    QAction *calendar = addEntry(this, tools, QStringLiteral("Ca&lendar…"),
        [openPlanning] { openPlanning(Windows::FrmDueCalendar); });
    calendar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addEntry(this, tools, QStringLiteral("Cash &Flow Forecast…"),
        [openPlanning] { openPlanning(Windows::FrmCashFlowForecast); });
    tools->addSeparator();
    addEntry(this, tools, QStringLiteral("Export to Calendar (.&ics)…"), [this] {
        if (DBGridSched->postPending())
            CalendarExport::run(this);
        takeKeyboardBack();
    });
}

void TfrmSched::buildHelpMenu(QMenuBar *menus)
{
    QMenu *help = menus->addMenu(QStringLiteral("&Help"));
    addEntry(
        this, help, QStringLiteral("&Contents"), [] { Help::open(QStringLiteral("index.hta")); });
    addEntry(this, help, QStringLiteral("&Introduction"),
        [] { Help::open(QStringLiteral("introduction.hta")); });
    QAction *onScreen = addEntry(this, help, QStringLiteral("&Help on This Screen"),
        [] { Help::open(QStringLiteral("schedule_screen.hta")); });
    onScreen->setShortcut(QKeySequence(Qt::Key_F1));
    onScreen->setShortcutContext(Qt::WidgetShortcut); // F1 itself is handled by the help-key rule
    addEntry(this, help, QStringLiteral("Tool Ti&p"), &TfrmSched::ToolTipClick);
    help->addSeparator();
    addEntry(this, help, QStringLiteral("Duesmith Home Page..."),
        [] { Help::openWeb(Help::homePage()); });
    addEntry(this, help, Help::makerEntryCaption(), [] { Help::openWeb(Help::makerPage()); });
    addEntry(this, help, QStringLiteral("&About..."), &TfrmSched::AboutClick);
}

void TfrmSched::updateActions()
{
    auto enable = [](const QList<QAction *> &actions, bool on) {
        for (QAction *a : actions)
            a->setEnabled(on);
    };
    enable(m_payeeEntries, Windows::FrmPayee != nullptr);
    enable(m_reportEntries, Windows::FrmChooseReport != nullptr);
    enable(m_historyEntries, Windows::FrmHistory != nullptr);
    enable(m_backupEntries, Windows::FrmBackup != nullptr);
    enable(m_exportEntries, true);
    m_importEntry->setEnabled(Windows::FrmImport != nullptr);
    enable(m_optionEntries, Windows::FrmOptions != nullptr);
    m_actPay->setEnabled(true);
}

void TfrmSched::buildLayout()
{
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_outerSplitter = new QSplitter(Qt::Vertical, central);
    m_outerSplitter->setHandleWidth(3);
    m_outerSplitter->setChildrenCollapsible(false);

    auto *detail = new QWidget;
    auto *detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    detailLayout->addWidget(Chrome::titleStrip(QStringLiteral("Duesmith Details"), detail));
    DBGridSched->setObjectName(QStringLiteral("DBGridSched"));
    DBGridSched->setToolTip(QString()); // tooltips are off for the detail list
    DBGridSched->setWhatsThis(QStringLiteral("Expense and Income Detail"));
    detailLayout->addWidget(DBGridSched);
    m_outerSplitter->addWidget(detail);

    buildSummaries();

    buildLowerPanel();

    m_outerSplitter->addWidget(Panel3);
    m_outerSplitter->setStretchFactor(0, 1);
    m_outerSplitter->setStretchFactor(1, 0);
    m_outerSplitter->setSizes({ 288, 210 });
    outer->addWidget(m_outerSplitter);
    setCentralWidget(central);
    // Only the bars carry the hint; the panels under them have their own.
    m_outerSplitter->handle(1)->setToolTip(QStringLiteral("Drag Bar to Resize"));
    m_lowerSplitter->handle(1)->setToolTip(QStringLiteral("Drag Bar to Resize"));

    // The grids give way before the title strips do: at the panels' smallest
    // heights every title is still whole. The aging grid always has its three rows.
    for (QTableView *grid : { DBGridPayDate, DBGridDueDate, DBGridAge })
        grid->setMinimumHeight(1);
    DBGridAge->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    DBGridPayDate->setToolTip(QStringLiteral("Pay Date Summary"));
    DBGridDueDate->setToolTip(QStringLiteral("Due Date Summary"));
    DBGridAge->setToolTip(QStringLiteral("Due Date Aging Summary"));

    // Status line: Record n:count | Sorted by … | Mode: …
    m_status = std::make_unique<StatusLine>(statusBar(), StatusLine::Record::OfCount, LabelSort);
    statusBar()->setFixedHeight(18);
}

// Below the detail list: the pay-now and due-date summaries side by side, the
// summary by due-date range under them.
void TfrmSched::buildLowerPanel()
{
    Panel3 = new QWidget;
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setMinimumHeight(66);
    auto *lower = new QVBoxLayout(Panel3);
    lower->setContentsMargins(0, 0, 0, 0);
    lower->setSpacing(0);
    m_lowerSplitter = new QSplitter(Qt::Vertical, Panel3);
    m_lowerSplitter->setHandleWidth(3);
    m_lowerSplitter->setChildrenCollapsible(false);

    m_summarySplitter = new QSplitter(Qt::Horizontal);
    m_summarySplitter->setHandleWidth(3);
    m_summarySplitter->setChildrenCollapsible(false);
    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto *payLayout = new QVBoxLayout(Panel1);
    payLayout->setContentsMargins(0, 0, 0, 0);
    payLayout->setSpacing(0);
    payLayout->addWidget(Chrome::titleStrip(QStringLiteral("Pay Now Summary"), Panel1));
    payLayout->addWidget(DBGridPayDate);
    auto *duePanel = new QWidget;
    auto *dueLayout = new QVBoxLayout(duePanel);
    dueLayout->setContentsMargins(0, 0, 0, 0);
    dueLayout->setSpacing(0);
    dueLayout->addWidget(Chrome::titleStrip(QStringLiteral("Due Date Summary"), duePanel));
    dueLayout->addWidget(DBGridDueDate);
    m_summarySplitter->addWidget(Panel1);
    m_summarySplitter->addWidget(duePanel);
    // The pay-now summary keeps its width; the due-date summary takes the rest.
    m_summarySplitter->setStretchFactor(0, 0);
    m_summarySplitter->setStretchFactor(1, 1);
    m_summarySplitter->setSizes({ 400, 261 });

    PanelExpenseAging = new QWidget;
    PanelExpenseAging->setObjectName(QStringLiteral("PanelExpenseAging"));
    PanelExpenseAging->setMinimumHeight(39);
    auto *ageLayout = new QVBoxLayout(PanelExpenseAging);
    ageLayout->setContentsMargins(0, 0, 0, 0);
    ageLayout->setSpacing(0);
    ageLayout->addWidget(
        Chrome::titleStrip(QStringLiteral("Summary by Due Date Range"), PanelExpenseAging));
    ageLayout->addWidget(DBGridAge);
    m_ageStatus = new QLabel;
    m_ageStatus->setFrameShape(QFrame::StyledPanel);
    m_ageStatus->setFixedHeight(16);
    ageLayout->addWidget(m_ageStatus);

    m_lowerSplitter->addWidget(m_summarySplitter);
    m_lowerSplitter->addWidget(PanelExpenseAging);
    m_lowerSplitter->setStretchFactor(0, 1);
    m_lowerSplitter->setStretchFactor(1, 0);
    m_lowerSplitter->setSizes({ 100, 110 });
    lower->addWidget(m_lowerSplitter);
}

void TfrmSched::wireTable()
{
    DBGridSched->setTable(TableSched);
    DBGridSched->setColumns(ItemRules::listColumns(true));
    DBGridSched->setIntervalSource([] { return OptionsStore::current().agingInterval; });
    DBGridSched->setDefaultWarnSource([] { return OptionsStore::current().defaultWarn; });
    DBGridSched->titles()->markSortSection(1);
    connect(DBGridSched, &ItemGrid::sortChanged, LabelSort, &QLabel::setText);
    connect(DBGridSched, &ItemGrid::statusChanged, this, &TfrmSched::updateStatus);
    connect(TableSched, &Table::stateChanged, this, &TfrmSched::updateStatus);

    ItemRules::install(*TableSched, ItemRules::Schedule);
    connect(TableSched, &Table::beforePost, this, [] { BusyPointer::set(true); });
    connect(TableSched, &Table::postError, this, [] { BusyPointer::set(false); });
    // After a post or delete in the list the summaries follow the one record
    // that changed, without reading the schedule.
    connect(TableSched, &Table::afterPost, this, [this] {
        m_summaryService->recordChanged(TableSched->changedBefore(), TableSched->changedAfter());
        BusyPointer::set(false);
    });
    connect(TableSched, &Table::afterDelete, this, [this] {
        m_summaryService->recordChanged(TableSched->changedBefore(), TableSched->changedAfter());
    });
}

void TfrmSched::updateStatus()
{
    m_status->update(*TableSched);
}

bool TfrmSched::FormCreate()
{
    BusyPointer::set(true);
    try {
        m_dataFolder = std::make_unique<DataFolderStartup>();
        m_dataFolder->prepare();

        Tableresched->open();
        TableSched->close();
        TableSched->setExclusive(false);
        TableSched->open();
        reopenSummaryQueries();
        TableAge->close();
        TableAge->open();
    } catch (const std::exception &e) {
        m_dataFolder.reset();
        BusyPointer::set(false);
        Messages::current().error(QString::fromUtf8(e.what()));
        return false;
    }
    DBGridSched->syncFromTable();
    updateStatus();
    m_created = true;
    Timer1->start();
    return true;
}

void TfrmSched::setFieldLabels()
{
    ItemRules::setListLabels(*TableSched);
    DBGridSched->itemModel()->headerTitlesChanged();
}

void TfrmSched::LoadPayeePickList()
{
    DBGridSched->setPickList(QStringLiteral("Description"), ItemRules::payeePickList(*TablePayee));
}

void TfrmSched::Timer1Timer()
{
    Timer1->stop();
    if (m_startupDone)
        return;
    m_startupDone = true;
    if (const QStringList problems = OptionsStore::instance().takeSettingProblems();
        !problems.isEmpty())
        Messages::current().warn(problems.join(QLatin1Char('\n')));
    new DayWatch(this);
    UpdateDueTotals();
    setFieldLabels();
    LoadPayeePickList();
    if (OptionsStore::current().intro && Windows::FrmIntro)
        askIntroduction();
    if (Windows::resumeInterruptedRun)
        Windows::resumeInterruptedRun();
    if (OptionsStore::current().displayReminder)
        showOverdueReminder();
    BusyPointer::set(false);
    if (TableSched->isOpen() && TableSched->isEmpty()
        && TableSched->state() == Table::State::Browse)
        SpeedItemNewClick();
}

void TfrmSched::showModal(QDialog *dialog)
{
    flushAgingWrites();
    dialog->exec();
    takeKeyboardBack();
}

void TfrmSched::takeKeyboardBack()
{
    // Without a window manager nobody hands the keyboard back when a window over
    // this one closes, and the control that had it may be a cell editor put away meanwhile.
    activateWindow();
    QWidget *had = focusWidget();
    if (had && had->isVisible())
        had->setFocus(Qt::ActiveWindowFocusReason);
    else
        DBGridSched->setFocus(Qt::ActiveWindowFocusReason);
}

void TfrmSched::SpeedItemNewClick()
{
    if (!TableSched->isOpen() || !DBGridSched->postPending())
        return;
    TableSched->insert();
    DBGridSched->syncFromTable();
    DBGridSched->setFocus();
}

void TfrmSched::SpeedItemCopyClick()
{
    if (!TableSched->isOpen() || !DBGridSched->postPending())
        return;
    if (TableSched->eof() && TableSched->isEmpty())
        return;
    // The record passes through the work table, which is empty before and after.
    if (!Tableresched->isOpen())
        Tableresched->open();
    Tableresched->emptyTable();
    Tableresched->append();
    const QStringList &fields = ItemFields::entered();
    for (const QString &f : fields)
        Tableresched->setValue(f, TableSched->value(f));
    Tableresched->post();
    TableSched->append();
    for (const QString &f : fields)
        TableSched->setValue(f, Tableresched->value(f));
    if (!DBGridSched->postPending())
        return;
    DBGridSched->selectField(QStringLiteral("PayNow"));
    Tableresched->emptyTable();
    Tableresched->close();
}

void TfrmSched::SpeedItemDeleteClick()
{
    DBGridSched->deleteRecord();
}

void TfrmSched::SpeedItem5Click()
{
    if (!DBGridSched->postPending())
        return;
    BusyPointer::set(true);
    bool marked = false;
    for (int row = 0; row < QueryTotals->rowCount(); ++row)
        if (!QueryTotals->value(row, QStringLiteral("PayNow")).isNull())
            marked = true;
    if (marked && Windows::FrmPayit) {
        showModal(Windows::FrmPayit);
        refreshAfterPayment();
        BusyPointer::set(false);
        return;
    }
    BusyPointer::set(false);
    if (!marked)
        Messages::current().inform(QStringLiteral(
            "No records were found with a check in the Pay column. At least one record must have a "
            "check in the Pay column before bill payment processing can occur."));
}

void TfrmSched::refreshAfterPayment()
{
    TableSched->close();
    TableSched->open();
    reopenSummaryQueries();
    UpdateDueTotals();
    DBGridSched->syncFromTable();
    updateStatus();
}

void TfrmSched::SpeedItem1Click()
{
    if (!Windows::FrmPayee)
        return;
    showModal(Windows::FrmPayee);
    LoadPayeePickList();
}

void TfrmSched::SpeedItemCalcClick()
{
    Calculator::instance()->execute();
}

void TfrmSched::SpeedItem2Click()
{
    if (!DBGridSched->postPending() || !Windows::FrmChooseReport)
        return;
    showModal(Windows::FrmChooseReport);
}

void TfrmSched::HistoryClick()
{
    if (!Windows::FrmHistory)
        return;
    BusyPointer::set(true);
    showModal(Windows::FrmHistory);
    BusyPointer::set(false);
}

void TfrmSched::BackupClick()
{
    // What the user typed and has not posted yet belongs in the backup.
    if (Windows::FrmBackup && (!TableSched->isOpen() || DBGridSched->postPending()))
        showModal(Windows::FrmBackup);
}

void TfrmSched::ExportClick()
{
    if (!TableSched->isOpen() || !DBGridSched->postPending())
        return;
    ExportCurrentTable::run(*TableSched, this);
    takeKeyboardBack();
}

void TfrmSched::ImportClick()
{
    // What the user typed is posted first; the list and its summaries are
    // read again once rows were added.
    if (!Windows::FrmImport || !DBGridSched->postPending())
        return;
    showModal(Windows::FrmImport);
    if (Windows::FrmImport->result() == QDialog::Accepted)
        refreshAfterPayment();
}

void TfrmSched::OptionsClick()
{
    // The list is read again afterwards: what the user typed is posted first.
    if (!Windows::FrmOptions || !settleEdit())
        return;
    showModal(Windows::FrmOptions);
    // New options change the aging, the titles and the colours.
    UpdateDueTotals();
    setFieldLabels();
    TableSched->close();
    TableSched->open();
    reopenSummaryQueries();
    TableAge->close();
    TableAge->open();
    DBGridSched->syncFromTable();
}

void TfrmSched::ToolTipClick()
{
    if (!Windows::FrmIntro)
        return;
    BusyPointer::set(true);
    askIntroduction();
    BusyPointer::set(false);
}

void TfrmSched::askIntroduction()
{
    bool shown = OptionsStore::current().intro;
    Windows::FrmIntro->execFor(shown);
    OptionsStore::instance().update([shown](Options &o) { o.intro = shown; });
}

void TfrmSched::AboutClick()
{
    if (Windows::frmAbout)
        Windows::frmAbout->exec();
}

void TfrmSched::keyPressEvent(QKeyEvent *event)
{
    if (Help::isHelpKey(event)) {
        Help::open(QStringLiteral("schedule_screen.hta"));
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TfrmSched::FormCloseQuery()
{
    const Options &options = OptionsStore::current();
    if (options.confirmExit
        && !Messages::current().confirmYesNo(
            QStringLiteral("Are you sure you want to close Duesmith?")))
        return false;
    if (options.backupReminder
        && Messages::current().confirmYesNo(
            QStringLiteral("Perform a backup of your Duesmith files before closing?"))) {
        // What the user typed belongs in the backup; a refused record keeps the window open.
        if (!settleEdit())
            return false;
        if (Windows::FrmBackup)
            showModal(Windows::FrmBackup);
    }
    return true;
}

bool TfrmSched::settleEdit()
{
    // A new record nobody typed into is dropped; anything typed is posted.
    return !TableSched->isOpen() || DBGridSched->postPending();
}

void TfrmSched::FormClose()
{
    flushAgingWrites();
    QueryTotals->close();
    QueryDuedateTotals->close();
    TableSched->close();
    TableSched2->close();
    Tableresched->close();
    TableAge->close();
}

void TfrmSched::closeEvent(QCloseEvent *event)
{
    if (m_created && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    // A refused post keeps the window open.
    if (m_created && !settleEdit()) {
        event->ignore();
        return;
    }
    // The settings store saves on close, after the question allowed it.
    QMainWindow::closeEvent(event);
    if (m_created)
        FormClose();
    event->accept();
    // Closing the main window ends the program: no window of ours (a help
    // page, say) may keep it running.
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();
}
