#include "frmpayit.h"

#include "domain/paymentrun.h"

#include "app/coloredheader.h"
#include "app/itemgrid.h"
#include "app/itemrules.h"
#include "app/summaries.h"
#include "app/windows.h"
#include "data/engineerror.h"
#include "data/itemstatements.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/tipwindow.h"
#include "domain/options.h"
#include "platform/busypointer.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {
ListWindow::Frame payFrame()
{
    ListWindow::Frame frame;
    frame.name = QStringLiteral("FrmPayit");
    frame.caption = QStringLiteral("Pay Bills");
    frame.size = QSize(700, 460);
    frame.title = QStringLiteral("Pay These Bills Now");
    frame.section = QStringLiteral("TFrmPayit");
    frame.placement = FormStorage::Position;
    frame.helpPage = QStringLiteral("pay_bills_screen.hta");
    frame.tip = [] { return Windows::frmtooltips; };
    return frame;
}
} // namespace

TFrmPayit::TFrmPayit(QWidget *parent)
    : ListWindow(payFrame(), parent)
    , TableSched(new Table(TableFiles::Schedule, this))
    , TableHistory(new Table(TableFiles::History, this))
    , TableResched(new Table(TableFiles::Resched, this))
    , TablePayee(new Table(TableFiles::Payee, this))
    , QueryPaydateChecked(std::make_unique<Query>())
    , DBGridSched(new ItemGrid)
    , DBGridCheckedTot(new QTableView)
{
    TableSched->setIndexName(TableFiles::DueDateIndex);
    TableSched->setFilter(QStringLiteral("[PayNow] = '") + PayMark + QStringLiteral("'"));
    TableSched->setFiltered(true);
    // The totals row comes from the pass that reads the list.
    TableSched->setTotalledFields(ItemStatements::markedTotalsFields());
    TableHistory->setIndexName(TableFiles::DueDateIndex);
    TableResched->setIndexName(TableFiles::DueDateIndex);
    TablePayee->setReadOnly(true);
    QueryPaydateChecked->setSql(ItemStatements::markedTotals());

    QMenu *file = menus()->addMenu(QStringLiteral("&File"));
    addEntry(file, QStringLiteral("&Close"), this, &QDialog::reject);
    QMenu *record = menus()->addMenu(QStringLiteral("&Record"));
    addEntry(record, QStringLiteral("&Proceed to Next Step"), this, &TFrmPayit::ProcessNowClick);
    addCalculator(menus()->addMenu(QStringLiteral("&Tools")));
    QAction *back = addTool(Chrome::Glyph::Back, QStringLiteral("Back"), QStringLiteral("Back"),
        QStringLiteral("Back"));
    connect(back, &QAction::triggered, this, &QDialog::reject);
    QAction *next = addTool(Chrome::Glyph::Next, QStringLiteral("Next"), QStringLiteral("Next"),
        QStringLiteral("Next"));
    connect(next, &QAction::triggered, this, &TFrmPayit::ProcessNowClick);

    auto *instructions = new QLabel(
        QStringLiteral(
            "The following items should be paid now. To deselect any of the items below, click on\n"
            "the \"Back\" button.  Click on the \"Next\" button to continue to the reschedule "
            "screen."),
        this);
    instructions->setAlignment(Qt::AlignCenter);
    instructions->setContentsMargins(4, 4, 4, 4);
    body()->addWidget(instructions);

    DBGridSched->setObjectName(QStringLiteral("DBGridSched"));
    DBGridSched->setTable(TableSched);
    DBGridSched->setColumns(ItemRules::listColumns(true));
    DBGridSched->setRules(GridRules::workList());
    DBGridSched->setIntervalSource([] { return OptionsStore::current().agingInterval; });
    DBGridSched->titles()->markSortSection(1);
    setList(DBGridSched, TableSched);

    body()->addWidget(Chrome::titleStrip(QStringLiteral("Selected Record Totals"), this));
    m_totals = new SummaryModel(QueryPaydateChecked.get(),
        { { TotalsColumn::Bill, QStringLiteral("Expense"), 113 },
            { TotalsColumn::Pay, QStringLiteral("Income"), 113 },
            { TotalsColumn::Remainder, QStringLiteral("Remainder"), 113 },
            { TotalsColumn::Count, QStringLiteral("Count"), 64 } },
        this);
    DBGridCheckedTot->setObjectName(QStringLiteral("DBGridCheckedTot"));
    DBGridCheckedTot->setModel(m_totals);
    DBGridCheckedTot->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGridCheckedTot->verticalHeader()->hide();
    DBGridCheckedTot->setFixedHeight(48);
    DBGridCheckedTot->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < 3; ++c)
        DBGridCheckedTot->setColumnWidth(c, 113);
    body()->addWidget(DBGridCheckedTot);

    ItemRules::install(*TableSched, ItemRules::PayBills);
    connect(TableSched, &Table::afterPost, this, [this] {
        if (!TableSched->controlsDisabled())
            refreshTotals();
    });
    connect(TableSched, &Table::afterDelete, this, [this] {
        if (!TableSched->controlsDisabled())
            refreshTotals();
    });
    connect(TableSched, &Table::postError, this, [] { BusyPointer::set(false); });
    finishFrame();
}

TFrmPayit::~TFrmPayit() = default;

void TFrmPayit::openTables()
{
    TableSched->close();
    while (TableSched->controlsDisabled())
        TableSched->enableControls();
    TableSched->open();
    ItemStatements::showMarkedTotals(*QueryPaydateChecked, *TableSched);
    m_totals->reset();
    ItemRules::setListLabels(*TableSched);
    DBGridSched->itemModel()->headerTitlesChanged();
    TableSched->first();
    DBGridSched->setPickListSource(
        QStringLiteral("Description"), [this] { return ItemRules::payeePickList(*TablePayee); });
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
    showTipSoon();
    return QDialog::exec();
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
        // The work table is needed by the run only.
        TableResched->close();
        TableResched->open();
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
        // The pointer stays busy until the reschedule screen is ready.
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
    stopTip();
    QDialog::done(result);
}
