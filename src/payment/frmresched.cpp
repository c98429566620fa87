#include "frmresched.h"

#include "domain/paymentrun.h"

#include "app/coloredheader.h"
#include "app/itemgrid.h"
#include "app/itemrules.h"
#include "app/windows.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/tipwindow.h"
#include "domain/options.h"
#include "platform/busypointer.h"
#include "platform/messages.h"

#include <QMenu>
#include <QMenuBar>

namespace {
ListWindow::Frame reschedFrame()
{
    ListWindow::Frame frame;
    frame.name = QStringLiteral("Frmresched");
    frame.caption = QStringLiteral("Reschedule");
    frame.size = QSize(700, 420);
    frame.title = QStringLiteral("Duesmith to be Rescheduled");
    frame.section = QStringLiteral("TFrmresched");
    frame.placement = FormStorage::Position;
    frame.helpPage = QStringLiteral("reschedule_screen.hta");
    frame.record = StatusLine::Record::Number;
    frame.tip = [] { return Windows::FrmToolTipResched; };
    return frame;
}
} // namespace

TFrmresched::TFrmresched(QWidget *parent)
    : ListWindow(reschedFrame(), parent)
    , Tableresched(new Table(TableFiles::Resched, this))
    , TableSched(new Table(TableFiles::Schedule, this))
    , TablePayee(new Table(TableFiles::Payee, this))
    , DBGridsched(new ItemGrid)
{
    Tableresched->setIndexName(TableFiles::DueDateIndex);
    TablePayee->setReadOnly(true);

    QMenu *file = menus()->addMenu(QStringLiteral("&File"));
    addEntry(file, QStringLiteral("&Exit"), this, &QDialog::accept);
    addCalculator(menus()->addMenu(QStringLiteral("&Tools")));
    QAction *cont = addTool(Chrome::Glyph::Continue, QStringLiteral("Continue"),
        QStringLiteral("Continue"), QStringLiteral("Continue"));
    connect(cont, &QAction::triggered, this, &QDialog::accept);

    DBGridsched->setObjectName(QStringLiteral("DBGridsched"));
    DBGridsched->setTable(Tableresched);
    DBGridsched->setColumns(ItemRules::listColumns(false));
    DBGridsched->setRules(GridRules::workList());
    DBGridsched->setIntervalSource([] { return OptionsStore::current().agingInterval; });
    DBGridsched->titles()->markSortSection(0);
    setList(DBGridsched, Tableresched);

    ItemRules::install(*Tableresched, ItemRules::Reschedule);
    connect(Tableresched, &Table::postError, this, [] { BusyPointer::set(false); });
    finishFrame();
}

int TFrmresched::exec()
{
    try {
        Tableresched->close();
        while (Tableresched->controlsDisabled())
            Tableresched->enableControls();
        Tableresched->open();
        TableSched->close();
        TableSched->open();
        ItemRules::setListLabels(*Tableresched);
        DBGridsched->itemModel()->headerTitlesChanged();
        DBGridsched->setPickList(
            QStringLiteral("Description"), ItemRules::payeePickList(*TablePayee));
        DBGridsched->syncFromTable();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
        Tableresched->close();
        TableSched->close();
        return Rejected;
    }
    BusyPointer::set(false);
    showTipSoon();
    return QDialog::exec();
}

bool TFrmresched::writeBack()
{
    if (!Tableresched->isOpen())
        return true;
    if (!DBGridsched->postPending())
        return false;
    BusyPointer::set(true);
    Tableresched->disableControls();
    try {
        PaymentRun::writeBack(*Tableresched);
    } catch (const EngineError &e) {
        Tableresched->enableControls();
        DBGridsched->syncFromTable();
        BusyPointer::set(false);
        Messages::current().error(
            QStringLiteral("The rescheduled items could not be saved: %1\nNothing "
                           "was written; they are still here.")
                .arg(e.message()));
        return false;
    }
    Tableresched->close();
    TableSched->close();
    Tableresched->enableControls();
    return true;
}

void TFrmresched::done(int result)
{
    // Every way of closing writes the occurrences back; there is no way to drop them.
    if (!writeBack())
        return;
    stopTip();
    QDialog::done(result);
}
