#include "frmhistory.h"

#include "app/coloredheader.h"
#include "app/desttabledlg.h"
#include "app/itemgrid.h"
#include "app/itemmodel.h"
#include "app/itemrules.h"
#include "app/windows.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/calculator.h"
#include "dialogs/tipwindow.h"
#include "platform/busypointer.h"
#include "platform/messages.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QToolBar>

#include <algorithm>
#include <exception>

namespace {
const QString HelpPage = QStringLiteral("history_screen.hta");

void showError(const std::exception &error)
{
    BusyPointer::set(false);
    Messages::current().error(QString::fromUtf8(error.what()));
}

ListWindow::Frame historyFrame()
{
    ListWindow::Frame frame;
    frame.name = QStringLiteral("FrmHistory");
    frame.caption = QStringLiteral("History");
    frame.size = QSize(603, 431);
    frame.title = QStringLiteral("Duesmith History");
    frame.section = QStringLiteral("TFrmHistory");
    frame.placement = FormStorage::Placement(FormStorage::State | FormStorage::Position);
    frame.helpPage = HelpPage;
    frame.record = StatusLine::Record::OfCount;
    frame.compactStatus = true;
    frame.tip = [] { return Windows::FrmToolTipHist; };
    return frame;
}
} // namespace

TFrmHistory::TFrmHistory(QWidget *parent)
    : ListWindow(historyFrame(), parent)
    , TableSched(new Table(TableFiles::History, this))
    , DBGridSched(new ItemGrid)
{
    TableSched->setIndexName(TableFiles::DueDateIndex);
    buildActions();
    wireGrid();
    finishFrame();
    updateStatus();
}

TFrmHistory::~TFrmHistory()
{
    if (Windows::FrmHistory == this)
        Windows::FrmHistory = nullptr;
}

void TFrmHistory::buildActions()
{
    using Glyph = Chrome::Glyph;
    m_actDelete = addTool(Glyph::Delete, QStringLiteral("Delete"), QStringLiteral("Delete Record"),
        QStringLiteral("SpeedItemDelete"));
    connect(m_actDelete, &QAction::triggered, this, &TFrmHistory::SpeedItemDeleteClick);
    m_actReports = addTool(Glyph::Reports, QStringLiteral("Reports"),
        QStringLiteral("View Reports"), QStringLiteral("SpeedItemReports"));
    connect(m_actReports, &QAction::triggered, this, &TFrmHistory::ReportsClick);
    m_actExport = addTool(Glyph::Export, QStringLiteral("Export"),
        QStringLiteral("Export History Records"), QStringLiteral("SpeedItemExport"));
    connect(m_actExport, &QAction::triggered, this, &TFrmHistory::ExportClick);

    QMenu *file = menus()->addMenu(QStringLiteral("&File"));
    m_reportEntries.append(
        addEntry(file, QStringLiteral("View &Reports"), this, &TFrmHistory::ReportsClick));
    file->addSeparator();
    addEntry(file, QStringLiteral("&Close"), this, [this] { close(); });

    QMenu *record = menus()->addMenu(QStringLiteral("&Record"));
    addEntry(record, QStringLiteral("&Delete Record"), this, &TFrmHistory::SpeedItemDeleteClick);
    addEntry(
        record, QStringLiteral("D&elete All Records"), this, &TFrmHistory::DeleteAllRecordsClick);

    QMenu *tools = menus()->addMenu(QStringLiteral("&Tools"));
    m_exportEntries.append(
        addEntry(tools, QStringLiteral("&Export"), this, &TFrmHistory::ExportClick));
    m_actCalc = addCalculator(tools);
    m_actCalc->setObjectName(QStringLiteral("SpeedItemCalc"));
    for (QAction *a : { m_actDelete, m_actReports, m_actExport, m_actCalc }) {
        if (QWidget *button = toolBar()->widgetForAction(a))
            button->setFixedSize(50, 40);
    }

    m_reportEntries.append(m_actReports);
    m_exportEntries.append(m_actExport);
    updateActions();
}

void TFrmHistory::wireGrid()
{
    // Columns without a set width are made wide enough for their title and
    // their widest usual value.
    const QFontMetrics titleMetrics(DBGridSched->titles()->font());
    const QFontMetrics cellMetrics(DBGridSched->font());
    QList<GridColumn> columns = ItemRules::columns(ItemRules::List::History);
    for (GridColumn &column : columns) {
        if (column.width > 0)
            continue;
        const QString title = column.title.isEmpty() ? column.field : column.title;
        column.width = std::max({ 64, titleMetrics.horizontalAdvance(title) + 12,
            cellMetrics.horizontalAdvance(ItemRules::widestValue(column.field)) + 10 });
    }
    const GridRules rules = GridRules::readOnly();
    DBGridSched->setObjectName(QStringLiteral("DBGridSched"));
    DBGridSched->setTable(TableSched);
    DBGridSched->setColumns(columns);
    DBGridSched->setRules(rules);
    DBGridSched->itemModel()->setUrgency(false);
    DBGridSched->titles()->markSortSection(DBGridSched->columnOf(QStringLiteral("Due Date")));
    setList(DBGridSched, TableSched);
}

void TFrmHistory::updateActions()
{
    for (QAction *a : std::as_const(m_reportEntries))
        a->setEnabled(Windows::FrmChooseReport != nullptr);
    for (QAction *a : std::as_const(m_exportEntries))
        a->setEnabled(true);
}

void TFrmHistory::setFieldLabels()
{
    ItemRules::setListLabels(*TableSched, ItemRules::List::History);
    DBGridSched->itemModel()->headerTitlesChanged();
}

void TFrmHistory::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFrmHistory::FormShow()
{
    updateActions();
    stopTip();
    try {
        TableSched->close();
        TableSched->setExclusive(false);
        TableSched->setIndexName(TableFiles::DueDateIndex);
        setFieldLabels();
        TableSched->open();
    } catch (const std::exception &e) {
        showError(e);
    }
    DBGridSched->markSortColumn(QStringLiteral("Due Date"));
    DBGridSched->syncFromTable();
    DBGridSched->setFocus();
    updateStatus();
    BusyPointer::set(false);
    showTipSoon();
}

void TFrmHistory::SpeedItemDeleteClick()
{
    if (!Messages::current().confirmYesNo(
            QStringLiteral("Are you sure you want to delete this record?")))
        return;
    BusyPointer::set(true);
    try {
        TableSched->remove();
    } catch (const std::exception &e) {
        showError(e);
    }
    DBGridSched->syncFromTable();
    BusyPointer::set(false);
}

void TFrmHistory::DeleteAllRecordsClick()
{
    if (!Messages::current().confirmYesNo(
            QStringLiteral("Are you sure you want to delete all history records?")))
        return;
    BusyPointer::set(true);
    try {
        TableSched->close();
        TableSched->setExclusive(true);
        TableSched->open();
        TableSched->emptyTable();
        TableSched->close();
    } catch (const std::exception &e) {
        // The engine refuses exclusive use while anyone else has the file
        // open; nothing has been deleted then.
        showError(e);
    }
    reopenShared();
    BusyPointer::set(false);
}

void TFrmHistory::reopenShared()
{
    try {
        TableSched->close();
        TableSched->setExclusive(false);
        TableSched->open();
    } catch (const std::exception &e) {
        showError(e);
    }
    DBGridSched->syncFromTable();
    updateStatus();
}

void TFrmHistory::ReportsClick()
{
    if (Windows::FrmChooseReport)
        Windows::FrmChooseReport->exec();
}

void TFrmHistory::ExportClick()
{
    try {
        TableSched->checkBrowseMode();
    } catch (const std::exception &e) {
        showError(e);
        return;
    }
    if (TableSched->isOpen())
        ExportCurrentTable::run(*TableSched, this);
}

void TFrmHistory::CalculatorClick()
{
    Calculator::instance()->execute();
}

void TFrmHistory::done(int result)
{
    stopTip();
    BusyPointer::set(true);
    TableSched->close();
    QDialog::done(result);
}
