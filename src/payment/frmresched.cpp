#include "frmresched.h"

#include "paymentrun.h"

#include "app/chrome.h"
#include "app/coloredheader.h"
#include "app/formstorage.h"
#include "app/itemgrid.h"
#include "app/itemrules.h"
#include "app/windows.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/calculator.h"
#include "dialogs/tipwindow.h"
#include "domain/options.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

TFrmresched::TFrmresched(QWidget *parent)
    : QDialog(parent)
    , Tableresched(new Table(TableFiles::Resched, this))
    , TableSched(new Table(TableFiles::Schedule, this))
    , TablePayee(new Table(TableFiles::Payee, this))
    , DBGridsched(new ItemGrid)
    , CheckBoxToolTip(new QCheckBox(QStringLiteral("Display this tip next time."), this))
    , LabelSort(new QLabel(QStringLiteral("Sorted by Due Date")))
    , m_recordLabel(new QLabel)
    , m_modeLabel(new QLabel)
{
    setObjectName(QStringLiteral("Frmresched"));
    setWindowTitle(QStringLiteral("Reschedule"));
    resize(700, 420);
    CheckBoxToolTip->setObjectName(QStringLiteral("CheckBoxToolTip"));
    CheckBoxToolTip->setChecked(true);
    CheckBoxToolTip->hide();
    Tableresched->setIndexName(QStringLiteral("Due Date Index"));
    TablePayee->setReadOnly(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *menus = new QMenuBar(this);
    QMenu *file = menus->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("&Exit")), &QAction::triggered, this, &QDialog::accept);
    QMenu *tools = menus->addMenu(QStringLiteral("&Tools"));
    connect(tools->addAction(QStringLiteral("&Calculator")), &QAction::triggered, this,
            [] { Calculator::instance()->execute(); });
    Chrome::addHelpMenu(menus, this, QStringLiteral("reschedule_screen.hta"), [this] { ToolTipClick(); });
    layout->setMenuBar(menus);

    QToolBar *bar = Chrome::toolBar(this);
    QAction *calc = bar->addAction(Chrome::glyph(Chrome::Glyph::Calculator), QStringLiteral("Calculator"));
    calc->setToolTip(QStringLiteral("Calculator"));
    connect(calc, &QAction::triggered, this, [] { Calculator::instance()->execute(); });
    QAction *cont = bar->addAction(Chrome::glyph(Chrome::Glyph::Continue), QStringLiteral("Continue"));
    cont->setToolTip(QStringLiteral("Continue"));
    cont->setObjectName(QStringLiteral("Continue"));
    connect(cont, &QAction::triggered, this, &QDialog::accept);
    layout->addWidget(bar);
    layout->addWidget(Chrome::titleStrip(QStringLiteral("Duesmith to be Rescheduled"), this));

    DBGridsched->setObjectName(QStringLiteral("DBGridsched"));
    DBGridsched->setTable(Tableresched);
    DBGridsched->setColumns(ItemRules::listColumns(false));
    DBGridsched->setRules(GridRules::workList());
    DBGridsched->setIntervalSource([] { return OptionsStore::current().agingDays(); });
    DBGridsched->titles()->markSortSection(0);
    connect(DBGridsched, &ItemGrid::sortChanged, LabelSort, &QLabel::setText);
    connect(DBGridsched, &ItemGrid::statusChanged, this, &TFrmresched::updateStatus);
    layout->addWidget(DBGridsched, 1);

    auto *status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    status->addWidget(new QLabel(QStringLiteral("Record")));
    status->addWidget(m_recordLabel);
    LabelSort->setAlignment(Qt::AlignCenter);
    status->addWidget(LabelSort, 1);
    status->addPermanentWidget(m_modeLabel);
    layout->addWidget(status);

    ItemRules::install(*Tableresched, ItemRules::Reschedule);
    connect(Tableresched, &Table::afterPost, Tableresched, &Table::flush);
    connect(Tableresched, &Table::postError, this, [] { BusyPointer::set(false); });
    connect(Tableresched, &Table::stateChanged, this, &TFrmresched::updateStatus);

    m_storage = new FormStorage(this, QStringLiteral("TFrmresched"), FormStorage::Position);
    m_storage->addProperty(CheckBoxToolTip, QStringLiteral("CheckBoxToolTip"));
    m_storage->addGrid(DBGridsched, QStringLiteral("DBGridsched"),
                       [this](int column) { return DBGridsched->itemModel()->fieldName(column); });
    m_storage->attach();
}

void TFrmresched::updateStatus()
{
    m_recordLabel->setText(Tableresched->isOpen() ? QString::number(Tableresched->recNo()) : QString());
    m_modeLabel->setText(QStringLiteral("Mode: ") + ItemRules::modeText(*Tableresched));
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
        DBGridsched->setPickList(QStringLiteral("Description"), ItemRules::payeePickList(*TablePayee));
        DBGridsched->syncFromTable();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
        Tableresched->close();
        TableSched->close();
        return Rejected;
    }
    BusyPointer::set(false);
    QTimer::singleShot(1, this, [this] {
        if (CheckBoxToolTip->isChecked() && Windows::FrmToolTipResched && isVisible())
            Windows::FrmToolTipResched->execFor(CheckBoxToolTip);
    });
    return QDialog::exec();
}

void TFrmresched::ToolTipClick()
{
    if (Windows::FrmToolTipResched)
        Windows::FrmToolTipResched->execFor(CheckBoxToolTip);
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
        Messages::current().error(QStringLiteral("The rescheduled items could not be saved: %1\nNothing "
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
    QDialog::done(result);
}

void TFrmresched::keyPressEvent(QKeyEvent *event)
{
    if (Help::isHelpKey(event)) {
        Help::open(QStringLiteral("reschedule_screen.hta"));
        return;
    }
    QDialog::keyPressEvent(event);
}
