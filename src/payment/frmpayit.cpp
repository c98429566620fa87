#include "frmpayit.h"

#include "paymentrun.h"

#include "app/chrome.h"
#include "app/coloredheader.h"
#include "app/formstorage.h"
#include "app/itemgrid.h"
#include "app/itemrules.h"
#include "app/summaries.h"
#include "app/windows.h"
#include "data/engineerror.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/calculator.h"
#include "dialogs/tipwindow.h"
#include "domain/options.h"
#include "platform/busypointer.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

TFrmPayit::TFrmPayit(QWidget *parent)
    : QDialog(parent)
    , TableSched(new Table(TableFiles::Schedule, this))
    , TableHistory(new Table(TableFiles::History, this))
    , TableResched(new Table(TableFiles::Resched, this))
    , TablePayee(new Table(TableFiles::Payee, this))
    , QueryPaydateChecked(new Query)
    , DBGridSched(new ItemGrid)
    , DBGridCheckedTot(new QTableView)
    , CheckBoxToolTip(new QCheckBox(QStringLiteral("Display this tip next time."), this))
    , LabelSort(new QLabel(QStringLiteral("Sorted by Due Date")))
    , m_modeLabel(new QLabel)
{
    setObjectName(QStringLiteral("FrmPayit"));
    setWindowTitle(QStringLiteral("Pay Bills"));
    resize(700, 460);
    CheckBoxToolTip->setObjectName(QStringLiteral("CheckBoxToolTip"));
    CheckBoxToolTip->setChecked(true);
    CheckBoxToolTip->hide();

    TableSched->setIndexName(QStringLiteral("Due Date Index"));
    TableSched->setFilter(QStringLiteral("[PayNow] = '") + PayMark + QStringLiteral("'"));
    TableSched->setFiltered(true);
    TableHistory->setIndexName(QStringLiteral("Due Date Index"));
    TableResched->setIndexName(QStringLiteral("Due Date Index"));
    TablePayee->setReadOnly(true);
    QueryPaydateChecked->setSql(
        QStringLiteral(
            "SELECT sum(\"Bill Amount\") AS TotalBillAmount, sum(\"Pay Amount\") AS "
            "TotalPayAmount, "
            "count(\"Description\") AS totalcount FROM {schedule.DB} WHERE \"PayNow\" = '")
        + PayMark + QStringLiteral("'"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *menus = new QMenuBar(this);
    QMenu *file = menus->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("&Close")), &QAction::triggered, this, &QDialog::reject);
    QMenu *record = menus->addMenu(QStringLiteral("&Record"));
    connect(record->addAction(QStringLiteral("&Proceed to Next Step")), &QAction::triggered, this,
        &TFrmPayit::ProcessNowClick);
    QMenu *tools = menus->addMenu(QStringLiteral("&Tools"));
    connect(tools->addAction(QStringLiteral("&Calculator")), &QAction::triggered, this,
        [] { Calculator::instance()->execute(); });
    Chrome::addHelpMenu(
        menus, this, QStringLiteral("pay_bills_screen.hta"), [this] { ToolTipClick(); });
    layout->setMenuBar(menus);

    QToolBar *bar = Chrome::toolBar(this);
    QAction *calc
        = bar->addAction(Chrome::glyph(Chrome::Glyph::Calculator), QStringLiteral("Calculator"));
    calc->setToolTip(QStringLiteral("Calculator"));
    connect(calc, &QAction::triggered, this, [] { Calculator::instance()->execute(); });
    QAction *back = bar->addAction(Chrome::glyph(Chrome::Glyph::Back), QStringLiteral("Back"));
    back->setToolTip(QStringLiteral("Back"));
    back->setObjectName(QStringLiteral("Back"));
    connect(back, &QAction::triggered, this, &QDialog::reject);
    QAction *next = bar->addAction(Chrome::glyph(Chrome::Glyph::Next), QStringLiteral("Next"));
    next->setToolTip(QStringLiteral("Next"));
    next->setObjectName(QStringLiteral("Next"));
    connect(next, &QAction::triggered, this, &TFrmPayit::ProcessNowClick);
    layout->addWidget(bar);

    layout->addWidget(Chrome::titleStrip(QStringLiteral("Pay These Bills Now"), this));
    auto *instructions = new QLabel(
        QStringLiteral(
            "The following items should be paid now. To deselect any of the items below, click on\n"
            "the \"Back\" button.  Click on the \"Next\" button to continue to the reschedule "
            "screen."),
        this);
    instructions->setAlignment(Qt::AlignCenter);
    instructions->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(instructions);

    DBGridSched->setObjectName(QStringLiteral("DBGridSched"));
    DBGridSched->setTable(TableSched);
    DBGridSched->setColumns(ItemRules::listColumns(true));
    DBGridSched->setRules(GridRules::workList());
    DBGridSched->setIntervalSource([] { return OptionsStore::current().agingDays(); });
    DBGridSched->titles()->markSortSection(1);
    connect(DBGridSched, &ItemGrid::sortChanged, LabelSort, &QLabel::setText);
    connect(DBGridSched, &ItemGrid::statusChanged, this, &TFrmPayit::updateStatus);
    layout->addWidget(DBGridSched, 1);

    layout->addWidget(Chrome::titleStrip(QStringLiteral("Selected Record Totals"), this));
    m_totals = new SummaryModel(QueryPaydateChecked,
        { { QStringLiteral("TotalBillAmount"), QStringLiteral("Expense"), 113 },
            { QStringLiteral("TotalPayAmount"), QStringLiteral("Income"), 113 },
            { QStringLiteral("totalremainder"), QStringLiteral("Remainder"), 113 },
            { QStringLiteral("totalcount"), QStringLiteral("Count"), 64 } },
        this);
    DBGridCheckedTot->setObjectName(QStringLiteral("DBGridCheckedTot"));
    DBGridCheckedTot->setModel(m_totals);
    DBGridCheckedTot->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGridCheckedTot->verticalHeader()->hide();
    DBGridCheckedTot->setFixedHeight(48);
    DBGridCheckedTot->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < 3; ++c)
        DBGridCheckedTot->setColumnWidth(c, 113);
    layout->addWidget(DBGridCheckedTot);

    auto *status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    status->addWidget(LabelSort, 1);
    status->addPermanentWidget(m_modeLabel);
    layout->addWidget(status);

    ItemRules::install(*TableSched, ItemRules::PayBills);
    connect(TableSched, &Table::afterPost, this, [this] {
        TableSched->flush();
        if (!TableSched->controlsDisabled())
            refreshTotals();
    });
    connect(TableSched, &Table::afterDelete, this, [this] {
        if (!TableSched->controlsDisabled())
            refreshTotals();
    });
    connect(TableSched, &Table::postError, this, [] { BusyPointer::set(false); });
    connect(TableSched, &Table::stateChanged, this, &TFrmPayit::updateStatus);

    m_storage = new FormStorage(this, QStringLiteral("TFrmPayit"), FormStorage::Position);
    m_storage->addProperty(CheckBoxToolTip, QStringLiteral("CheckBoxToolTip"));
    m_storage->addGrid(DBGridSched, QStringLiteral("DBGridSched"),
        [this](int column) { return DBGridSched->itemModel()->fieldName(column); });
    m_storage->attach();
}

TFrmPayit::~TFrmPayit()
{
    delete QueryPaydateChecked;
}

void TFrmPayit::openTables()
{
    TableSched->close();
    while (TableSched->controlsDisabled())
        TableSched->enableControls();
    TableSched->open();
    TableResched->close();
    TableResched->open();
    refreshTotals();
    ItemRules::setListLabels(*TableSched);
    DBGridSched->itemModel()->headerTitlesChanged();
    TableSched->first();
    DBGridSched->setPickList(QStringLiteral("Description"), ItemRules::payeePickList(*TablePayee));
    DBGridSched->syncFromTable();
}

void TFrmPayit::closeTables()
{
    TableSched->close();
    TableResched->close();
    TableHistory->close();
    QueryPaydateChecked->close();
    m_totals->reset();
}

void TFrmPayit::refreshTotals()
{
    QueryPaydateChecked->reopen();
    m_totals->reset();
}

void TFrmPayit::updateStatus()
{
    m_modeLabel->setText(QStringLiteral("Mode: ") + ItemRules::modeText(*TableSched));
}

int TFrmPayit::exec()
{
    try {
        openTables();
    } catch (const EngineError &e) {
        BusyPointer::set(false);
        Messages::current().error(e.message());
        closeTables();
        return Rejected;
    }
    BusyPointer::set(false);
    QTimer::singleShot(1, this, [this] {
        if (CheckBoxToolTip->isChecked() && Windows::frmtooltips && isVisible())
            Windows::frmtooltips->execFor(CheckBoxToolTip);
    });
    return QDialog::exec();
}

void TFrmPayit::ToolTipClick()
{
    if (Windows::frmtooltips)
        Windows::frmtooltips->execFor(CheckBoxToolTip);
}

bool TFrmPayit::ProcessNowClick()
{
    if (m_running || !TableSched->isOpen())
        return false;
    if (!DBGridSched->postPending())
        return false;
    m_running = true;
    BusyPointer::set(true);
    TableSched->disableControls();
    PaymentRun::Outcome outcome;
    try {
        outcome = PaymentRun::pay(*TableSched, Clock::current().today());
    } catch (const EngineError &e) {
        m_running = false;
        TableSched->enableControls();
        DBGridSched->syncFromTable();
        BusyPointer::set(false);
        Messages::current().error(
            QStringLiteral("The bills could not be paid: %1\nNothing was paid; every "
                           "item is as it was before.")
                .arg(e.message()));
        return false;
    }
    QueryPaydateChecked->close();
    TableSched->close();
    TableHistory->close();
    TableResched->close();
    if (outcome.continuing > 0 && Windows::Frmresched) {
        hide();
        BusyPointer::set(false);
        BusyPointer::set(true);
        Windows::Frmresched->exec();
    }
    m_running = false;
    accept();
    return true;
}

void TFrmPayit::done(int result)
{
    if (TableSched->isOpen() && !TableSched->controlsDisabled() && !DBGridSched->postPending())
        return;
    BusyPointer::set(true);
    closeTables();
    while (TableSched->controlsDisabled())
        TableSched->enableControls();
    BusyPointer::set(false);
    QDialog::done(result);
}

void TFrmPayit::keyPressEvent(QKeyEvent *event)
{
    if (Help::isHelpKey(event)) {
        Help::open(QStringLiteral("pay_bills_screen.hta"));
        return;
    }
    QDialog::keyPressEvent(event);
}
