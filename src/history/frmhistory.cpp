#include "frmhistory.h"

#include "app/chrome.h"
#include "app/coloredheader.h"
#include "app/formstorage.h"
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
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QAction>
#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace {
const QString HelpPage = QStringLiteral("history_screen.hta");

void showError(const std::exception &error)
{
    BusyPointer::set(false);
    Messages::current().error(QString::fromUtf8(error.what()));
}
} // namespace

TFrmHistory::TFrmHistory(QWidget *parent)
    : QDialog(parent)
    , TableSched(new Table(TableFiles::History, this))
    , DBGridSched(new ItemGrid)
    , LabelSort(new QLabel(QStringLiteral("Sorted by Due Date")))
    , CheckBoxToolTip(new QCheckBox(this))
    , TimerToolTip(new QTimer(this))
    , m_recordLabel(new QLabel)
    , m_modeLabel(new QLabel)
{
    setObjectName(QStringLiteral("FrmHistory"));
    setWindowTitle(QStringLiteral("History"));
    resize(603, 431);

    TableSched->setIndexName(TableFiles::DueDateIndex);

    CheckBoxToolTip->setObjectName(QStringLiteral("CheckBoxToolTip"));
    CheckBoxToolTip->setChecked(true);
    CheckBoxToolTip->hide();

    TimerToolTip->setSingleShot(true);
    TimerToolTip->setInterval(1);
    connect(TimerToolTip, &QTimer::timeout, this, &TFrmHistory::TimerToolTipTimer);

    buildActions();
    buildLayout();
    wireGrid();

    m_storage = std::make_unique<FormStorage>(this, QStringLiteral("TFrmHistory"),
        FormStorage::Placement(FormStorage::State | FormStorage::Position));
    m_storage->addProperty(CheckBoxToolTip, QStringLiteral("CheckBoxToolTip"));
    m_storage->addGrid(DBGridSched, QStringLiteral("DBGridSched"),
        [this](int column) { return DBGridSched->itemModel()->fieldName(column); });
    m_storage->attach();

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
    auto make = [this](const QString &text, const QString &tip, Glyph icon, const QString &name) {
        auto *a = new QAction(Chrome::glyph(icon), text, this);
        a->setToolTip(tip);
        a->setObjectName(name);
        return a;
    };
    m_actDelete = make(QStringLiteral("Delete"), QStringLiteral("Delete Record"), Glyph::Delete,
        QStringLiteral("SpeedItemDelete"));
    connect(m_actDelete, &QAction::triggered, this, &TFrmHistory::SpeedItemDeleteClick);
    m_actReports = make(QStringLiteral("Reports"), QStringLiteral("View Reports"), Glyph::Reports,
        QStringLiteral("SpeedItemReports"));
    connect(m_actReports, &QAction::triggered, this, &TFrmHistory::ReportsClick);
    // Export arrives with the export dialog; until then it stays disabled.
    m_actExport = make(QStringLiteral("Export"), QStringLiteral("Export History Records"),
        Glyph::Export, QStringLiteral("SpeedItemExport"));
    m_actCalc = make(QStringLiteral("Calculator"), QStringLiteral("Calculator"), Glyph::Calculator,
        QStringLiteral("SpeedItemCalc"));
    connect(m_actCalc, &QAction::triggered, this, &TFrmHistory::CalculatorClick);

    m_toolBar = Chrome::toolBar(this);
    for (QAction *a : { m_actDelete, m_actReports, m_actExport, m_actCalc }) {
        m_toolBar->addAction(a);
        if (QWidget *button = m_toolBar->widgetForAction(a))
            button->setFixedSize(50, 40);
    }

    m_menuBar = new QMenuBar(this);
    auto entry = [this](QMenu *menu, const QString &text, auto slot) {
        QAction *a = menu->addAction(text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu *file = m_menuBar->addMenu(QStringLiteral("&File"));
    m_reportEntries.append(
        entry(file, QStringLiteral("View &Reports"), &TFrmHistory::ReportsClick));
    file->addSeparator();
    entry(file, QStringLiteral("&Close"), [this] { close(); });

    QMenu *record = m_menuBar->addMenu(QStringLiteral("&Record"));
    entry(record, QStringLiteral("&Delete Record"), &TFrmHistory::SpeedItemDeleteClick);
    entry(record, QStringLiteral("D&elete All Records"), &TFrmHistory::DeleteAllRecordsClick);

    QMenu *tools = m_menuBar->addMenu(QStringLiteral("&Tools"));
    m_exportEntries.append(tools->addAction(QStringLiteral("&Export")));
    entry(tools, QStringLiteral("&Calculator"), &TFrmHistory::CalculatorClick);

    Chrome::addHelpMenu(m_menuBar, this, HelpPage, [this] { ToolTipClick(); });

    m_reportEntries.append(m_actReports);
    m_exportEntries.append(m_actExport);
    updateActions();
}

void TFrmHistory::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_menuBar);
    layout->addWidget(m_toolBar);
    layout->addWidget(Chrome::titleStrip(QStringLiteral("Duesmith History"), this));

    DBGridSched->setObjectName(QStringLiteral("DBGridSched"));
    DBGridSched->setParent(this);
    layout->addWidget(DBGridSched, 1);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    status->setFixedHeight(18);
    QFont small = status->font();
    small.setPixelSize(11);
    status->setFont(small);
    status->addWidget(new QLabel(QStringLiteral("Record")));
    m_recordLabel->setObjectName(QStringLiteral("LabelRecord"));
    m_recordLabel->setMinimumWidth(60);
    status->addWidget(m_recordLabel);
    LabelSort->setObjectName(QStringLiteral("LabelSort"));
    LabelSort->setAlignment(Qt::AlignCenter);
    status->addWidget(LabelSort, 1);
    m_modeLabel->setObjectName(QStringLiteral("LabelMode"));
    status->addPermanentWidget(m_modeLabel);
    layout->addWidget(status);
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
    DBGridSched->setTable(TableSched);
    DBGridSched->setColumns(columns);
    DBGridSched->setRules(rules);
    DBGridSched->itemModel()->setUrgency(false);
    DBGridSched->titles()->markSortSection(DBGridSched->columnOf(QStringLiteral("Due Date")));
    connect(DBGridSched, &ItemGrid::sortChanged, LabelSort, &QLabel::setText);
    connect(DBGridSched, &ItemGrid::statusChanged, this, &TFrmHistory::updateStatus);
    connect(TableSched, &Table::stateChanged, this, &TFrmHistory::updateStatus);
}

void TFrmHistory::updateActions()
{
    for (QAction *a : std::as_const(m_reportEntries))
        a->setEnabled(Windows::FrmChooseReport != nullptr);
    for (QAction *a : std::as_const(m_exportEntries))
        a->setEnabled(false);
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
    TimerToolTip->stop();
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
    TimerToolTip->start();
}

void TFrmHistory::TimerToolTipTimer()
{
    TimerToolTip->stop();
    if (CheckBoxToolTip->isChecked() && isVisible())
        ToolTipClick();
}

void TFrmHistory::ToolTipClick()
{
    if (Windows::FrmToolTipHist)
        Windows::FrmToolTipHist->execFor(CheckBoxToolTip);
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

void TFrmHistory::CalculatorClick()
{
    Calculator::instance()->execute();
}

QString TFrmHistory::recordText() const
{
    return QStringLiteral("Record ") + m_recordLabel->text();
}

QString TFrmHistory::modeText() const
{
    return m_modeLabel->text();
}

void TFrmHistory::updateStatus()
{
    if (!TableSched->isOpen()) {
        m_recordLabel->setText(QString());
        m_modeLabel->setText(QStringLiteral("Mode: Closed"));
        return;
    }
    m_recordLabel->setText(
        QStringLiteral("%1:%2").arg(TableSched->recNo()).arg(TableSched->recordCount()));
    m_modeLabel->setText(QStringLiteral("Mode: ") + ItemRules::modeText(*TableSched));
}

void TFrmHistory::keyPressEvent(QKeyEvent *event)
{
    if (Help::isHelpKey(event)) {
        Help::open(HelpPage);
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmHistory::done(int result)
{
    TimerToolTip->stop();
    BusyPointer::set(true);
    TableSched->close();
    QDialog::done(result);
}
