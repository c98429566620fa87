#include "frmsched.h"

#include "coloredheader.h"
#include "formstorage.h"
#include "itemgrid.h"
#include "urgency.h"
#include "windows.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/query.h"
#include "data/table.h"
#include "data/templates.h"
#include "data/upgrade.h"
#include "dialogs/calculator.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmintro.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QString ScheduleFile = QStringLiteral("schedule.DB");

// A title strip: centred bold text in the highlight text colour on a band.
QLabel *titleStrip(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedHeight(18);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 128));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::HighlightedText));
    label->setPalette(pal);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setStyleSheet(QStringLiteral(
        "QLabel { color: white; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3a5a9a, stop:1 #0a2060); }"));
    return label;
}

// Toolbar glyphs, drawn so the program needs no picture files.
QIcon glyph(int kind)
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(20, 60, 140);
    p.setPen(QPen(ink, 1.5));
    switch (kind) {
    case 0: // new
        p.setBrush(Qt::white);
        p.drawRect(5, 3, 13, 18);
        p.drawLine(8, 8, 15, 8);
        p.drawLine(8, 12, 15, 12);
        break;
    case 1: // copy
        p.setBrush(Qt::white);
        p.drawRect(3, 3, 11, 14);
        p.drawRect(9, 7, 11, 14);
        break;
    case 2: // delete
        p.setPen(QPen(QColor(200, 0, 0), 3));
        p.drawLine(5, 5, 19, 19);
        p.drawLine(19, 5, 5, 19);
        break;
    case 3: // pay bills
        p.setBrush(QColor(60, 160, 60));
        p.drawRoundedRect(2, 6, 20, 12, 2, 2);
        p.setPen(Qt::white);
        p.drawText(QRect(2, 6, 20, 12), Qt::AlignCenter, QStringLiteral("$"));
        break;
    case 4: // payees
        p.setBrush(QColor(250, 230, 160));
        p.drawEllipse(8, 3, 8, 8);
        p.drawRoundedRect(4, 12, 16, 9, 4, 4);
        break;
    case 5: // calculator
        p.setBrush(QColor(230, 230, 230));
        p.drawRect(5, 2, 14, 20);
        p.setBrush(QColor(180, 220, 180));
        p.drawRect(7, 4, 10, 5);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                p.drawRect(7 + c * 4, 11 + r * 3, 2, 2);
        break;
    case 6: // reports
        p.setBrush(Qt::white);
        p.drawRect(4, 2, 16, 20);
        p.setBrush(ink);
        p.drawRect(7, 14, 2, 5);
        p.drawRect(11, 10, 2, 9);
        p.drawRect(15, 7, 2, 12);
        break;
    case 7: // history
        p.setBrush(Qt::white);
        p.drawEllipse(3, 3, 18, 18);
        p.drawLine(12, 12, 12, 6);
        p.drawLine(12, 12, 16, 14);
        break;
    case 8: // backup
        p.setBrush(QColor(90, 90, 160));
        p.drawRect(4, 4, 16, 16);
        p.setBrush(Qt::white);
        p.drawRect(7, 4, 10, 6);
        break;
    case 9: // export
        p.setBrush(Qt::white);
        p.drawRect(3, 5, 11, 15);
        p.setPen(QPen(QColor(0, 130, 0), 2.5));
        p.drawLine(10, 12, 21, 12);
        p.drawLine(17, 8, 21, 12);
        p.drawLine(17, 16, 21, 12);
        break;
    default: // options
        p.setBrush(QColor(200, 200, 200));
        p.drawEllipse(5, 5, 14, 14);
        p.setBrush(Qt::white);
        p.drawEllipse(9, 9, 6, 6);
        break;
    }
    return QIcon(pm);
}

QLineEdit *holder(QWidget *parent, const QString &name, const QString &text)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->hide();
    return edit;
}

QCheckBox *switchHolder(QWidget *parent, const QString &name)
{
    auto *box = new QCheckBox(parent);
    box->setObjectName(name);
    box->setChecked(true);
    box->hide();
    return box;
}
} // namespace

TfrmSched::TfrmSched(QWidget *parent)
    : QMainWindow(parent),
      TableSched(new Table(ScheduleFile, this)),
      TableSched2(new Table(ScheduleFile, this)),
      Tableresched(new Table(QStringLiteral("resched.DB"), this)),
      TableAge(new Table(QStringLiteral("age.db"), this)),
      TablePayee(new Table(QStringLiteral("payee.db"), this)),
      QueryTotals(new Query),
      QueryDuedateTotals(new Query),
      DBGridSched(new ItemGrid),
      LabelSort(new QLabel(QStringLiteral("Sorted by Due Date"))),
      Timer1(new QTimer(this)),
      m_recordLabel(new QLabel),
      m_modeLabel(new QLabel)
{
    Windows::frmSched = this;
    setObjectName(QStringLiteral("frmSched"));
    setWindowTitle(QStringLiteral("Duesmith"));
    resize(661, 498);

    TableSched->setIndexName(QStringLiteral("Due Date Index"));
    TableSched2->setIndexFieldNames(QStringLiteral("Due Date;Description"));
    TableSched2->setReadOnly(true);
    Tableresched->setIndexFieldNames(QStringLiteral("Due Date;Description"));
    TableAge->setIndexFieldNames(QStringLiteral("Order"));
    TablePayee->setReadOnly(true);

    EditAgingInterval = holder(this, QStringLiteral("EditAgingInterval"), QStringLiteral("7"));
    EditDefaultWarn = holder(this, QStringLiteral("EditDefaultWarn"), QStringLiteral("0"));
    UserTitle1 = holder(this, QStringLiteral("UserTitle1"), QStringLiteral("User Field 1"));
    UserTitle2 = holder(this, QStringLiteral("UserTitle2"), QStringLiteral("User Field 2"));
    UserTitle3 = holder(this, QStringLiteral("UserTitle3"), QStringLiteral("User Field 3"));
    UserTitle4 = holder(this, QStringLiteral("UserTitle4"), QStringLiteral("User Field 4"));
    for (QLineEdit *title : {UserTitle1, UserTitle2, UserTitle3, UserTitle4})
        title->setMaxLength(25);
    CheckBoxDisplayReminder = switchHolder(this, QStringLiteral("CheckBoxDisplayReminder"));
    CheckBoxIntro = switchHolder(this, QStringLiteral("CheckBoxIntro"));
    CheckBoxBackupReminder = switchHolder(this, QStringLiteral("CheckBoxBackupReminder"));
    CheckBoxConfirmExit = switchHolder(this, QStringLiteral("CheckBoxConfirmExit"));

    Timer1->setSingleShot(true);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &TfrmSched::Timer1Timer);

    buildActions();
    buildLayout();
    wireTable();

    m_storage = std::make_unique<FormStorage>(
        this, QStringLiteral("TfrmSched"),
        FormStorage::Placement(FormStorage::State | FormStorage::Position | FormStorage::Focus));
    for (QLineEdit *edit : {EditAgingInterval, EditDefaultWarn, UserTitle1, UserTitle2, UserTitle3, UserTitle4})
        m_storage->addProperty(edit, edit->objectName());
    for (QCheckBox *box : {CheckBoxDisplayReminder, CheckBoxIntro, CheckBoxBackupReminder, CheckBoxConfirmExit})
        m_storage->addProperty(box, box->objectName());
    auto sizes = [](QSplitter *s) { return s->sizes(); };
    m_storage->addIntProperty(
        QStringLiteral("Panel3_Height"), [this, sizes] { return sizes(m_outerSplitter).value(1); },
        [this](int h) {
            const int total = m_outerSplitter->height() > 0 ? m_outerSplitter->height() : 498;
            m_outerSplitter->setSizes({std::max(1, total - h), std::max(66, h)});
        });
    m_storage->addIntProperty(
        QStringLiteral("PanelExpenseAging_Height"), [this, sizes] { return sizes(m_lowerSplitter).value(1); },
        [this](int h) {
            const int total = std::max(m_lowerSplitter->height(), 210);
            m_lowerSplitter->setSizes({std::max(1, total - h), std::max(39, h)});
        });
    m_storage->addIntProperty(
        QStringLiteral("Panel1_Width"), [this, sizes] { return sizes(m_summarySplitter).value(0); },
        [this](int w) {
            const int total = std::max(m_summarySplitter->width(), 661);
            m_summarySplitter->setSizes({w, std::max(1, total - w)});
        });
    m_storage->addGrid(DBGridSched, QStringLiteral("DBGridSched"),
                       [this](int column) { return DBGridSched->itemModel()->fieldName(column); });
    auto modelField = [](QTableView *grid) {
        return [grid](int column) {
            return grid->model() ? grid->model()->headerData(column, Qt::Horizontal, Qt::UserRole).toString()
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
    if (Windows::frmSched == this)
        Windows::frmSched = nullptr;
}

QString TfrmSched::userTitle(int n) const
{
    const QLineEdit *titles[] = {UserTitle1, UserTitle2, UserTitle3, UserTitle4};
    return n >= 1 && n <= 4 ? titles[n - 1]->text() : QString();
}

int TfrmSched::agingInterval() const
{
    return Urgency::readInterval(EditAgingInterval->text());
}

void TfrmSched::buildActions()
{
    auto make = [this](const QString &text, const QString &tip, int icon, void (TfrmSched::*slot)()) {
        auto *a = new QAction(glyph(icon), text, this);
        a->setToolTip(tip);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    m_actNew = make(QStringLiteral("New"), QStringLiteral("Create a New Record"), 0, &TfrmSched::SpeedItemNewClick);
    m_actNew->setObjectName(QStringLiteral("SpeedItemNew"));
    m_actCopy = make(QStringLiteral("Copy"), QStringLiteral("Create New Copy of this Record"), 1,
                     &TfrmSched::SpeedItemCopyClick);
    m_actCopy->setObjectName(QStringLiteral("SpeedItemCopy"));
    m_actDelete = make(QStringLiteral("Delete"), QStringLiteral("Delete a Record"), 2, &TfrmSched::SpeedItemDeleteClick);
    m_actDelete->setObjectName(QStringLiteral("SpeedItemDelete"));
    m_actPay = make(QStringLiteral("Pay Bills"), QStringLiteral("Pay Bills"), 3, &TfrmSched::SpeedItem5Click);
    m_actPay->setObjectName(QStringLiteral("SpeedItem5"));
    m_actPayees = make(QStringLiteral("Payees"), QStringLiteral("Memorized Payee List"), 4, &TfrmSched::SpeedItem1Click);
    m_actPayees->setObjectName(QStringLiteral("SpeedItem1"));
    m_actCalc = make(QStringLiteral("Calculator"), QStringLiteral("Calculator"), 5, &TfrmSched::SpeedItemCalcClick);
    m_actCalc->setObjectName(QStringLiteral("SpeedItemCalc"));
    m_actReports = make(QStringLiteral("Reports"), QStringLiteral("View Reports"), 6, &TfrmSched::SpeedItem2Click);
    m_actReports->setObjectName(QStringLiteral("SpeedItem2"));
    m_actHistory = make(QStringLiteral("History"), QStringLiteral("History"), 7, &TfrmSched::HistoryClick);
    m_actHistory->setObjectName(QStringLiteral("History"));
    m_actBackup = make(QStringLiteral("Backup"), QStringLiteral("Backup/Restore"), 8, &TfrmSched::BackupClick);
    m_actBackup->setObjectName(QStringLiteral("Backup"));
    m_actExport = make(QStringLiteral("Export"), QStringLiteral("Export"), 9, &TfrmSched::ExportClick);
    m_actExport->setObjectName(QStringLiteral("Export"));
    m_actOptions = make(QStringLiteral("Options"), QStringLiteral("Options"), 10, &TfrmSched::OptionsClick);
    m_actOptions->setObjectName(QStringLiteral("Options"));

    QToolBar *bar = addToolBar(QStringLiteral("File"));
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(24, 24));
    bar->setFixedHeight(47);
    bar->setStyleSheet(QStringLiteral(
        "QToolBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f4f6fb, stop:1 #d6dcea);"
        " border-bottom: 1px solid #8090b0; spacing: 1px; }"
        " QToolButton { min-width: 52px; min-height: 38px; font-size: 11px; padding: 0px 1px; }"));
    for (QAction *a : {m_actNew, m_actCopy, m_actDelete, m_actPay, m_actPayees, m_actCalc, m_actReports,
                       m_actHistory, m_actBackup, m_actExport, m_actOptions})
        bar->addAction(a);

    QMenuBar *menus = menuBar();
    auto entry = [this](QMenu *menu, const QString &text, auto slot) {
        QAction *a = menu->addAction(text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu *file = menus->addMenu(QStringLiteral("&File"));
    m_reportEntries.append(entry(file, QStringLiteral("View &Reports"), &TfrmSched::SpeedItem2Click));
    file->addSeparator();
    entry(file, QStringLiteral("E&xit"), [this] { close(); });

    QMenu *record = menus->addMenu(QStringLiteral("&Record"));
    entry(record, QStringLiteral("&New Record"), &TfrmSched::SpeedItemNewClick);
    entry(record, QStringLiteral("&Create a Copy of Selected Record"), &TfrmSched::SpeedItemCopyClick);
    entry(record, QStringLiteral("D&elete Record"), &TfrmSched::SpeedItemDeleteClick);
    record->addSeparator();
    entry(record, QStringLiteral("&Pay Bills Now..."), &TfrmSched::SpeedItem5Click);
    m_historyEntries.append(entry(record, QStringLiteral("View &History..."), &TfrmSched::HistoryClick));

    QMenu *tools = menus->addMenu(QStringLiteral("&Tools"));
    m_backupEntries.append(entry(tools, QStringLiteral("&Backup/Restore"), &TfrmSched::BackupClick));
    m_exportEntries.append(entry(tools, QStringLiteral("&Export"), &TfrmSched::ExportClick));
    entry(tools, QStringLiteral("&Calculator"), &TfrmSched::SpeedItemCalcClick);
    m_payeeEntries.append(entry(tools, QStringLiteral("&Payee List"), &TfrmSched::SpeedItem1Click));
    m_optionEntries.append(entry(tools, QStringLiteral("&Options"), &TfrmSched::OptionsClick));

    QMenu *help = menus->addMenu(QStringLiteral("&Help"));
    entry(help, QStringLiteral("&Contents"), [] { Help::open(QStringLiteral("index.hta")); });
    entry(help, QStringLiteral("&Introduction"), [] { Help::open(QStringLiteral("introduction.hta")); });
    QAction *onScreen = entry(help, QStringLiteral("&Help on This Screen"),
                              [] { Help::open(QStringLiteral("schedule_screen.hta")); });
    onScreen->setShortcut(QKeySequence(Qt::Key_F1));
    onScreen->setShortcutContext(Qt::WidgetShortcut); // F1 itself is handled by the help-key rule
    entry(help, QStringLiteral("Tool Tip"), &TfrmSched::ToolTipClick);
    help->addSeparator();
    entry(help, QStringLiteral("Duesmith Home Page..."), [] { Help::openWeb(Help::homePage()); });
    entry(help, Help::makerEntryCaption(), [] { Help::openWeb(Help::makerPage()); });
    entry(help, QStringLiteral("&About..."), &TfrmSched::AboutClick);

    m_payeeEntries.append(m_actPayees);
    m_reportEntries.append(m_actReports);
    m_historyEntries.append(m_actHistory);
    m_backupEntries.append(m_actBackup);
    m_exportEntries.append(m_actExport);
    m_optionEntries.append(m_actOptions);
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
    enable(m_exportEntries, false);
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
    m_outerSplitter->setToolTip(QStringLiteral("Drag Bar to Resize"));

    auto *detail = new QWidget;
    auto *detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    detailLayout->addWidget(titleStrip(QStringLiteral("Duesmith Details"), detail));
    DBGridSched->setObjectName(QStringLiteral("DBGridSched"));
    DBGridSched->setToolTip(QString()); // tooltips are off for the detail list
    DBGridSched->setWhatsThis(QStringLiteral("Expense and Income Detail"));
    detailLayout->addWidget(DBGridSched);
    m_outerSplitter->addWidget(detail);

    buildSummaries();

    Panel3 = new QWidget;
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setMinimumHeight(66);
    auto *lower = new QVBoxLayout(Panel3);
    lower->setContentsMargins(0, 0, 0, 0);
    lower->setSpacing(0);
    m_lowerSplitter = new QSplitter(Qt::Vertical, Panel3);
    m_lowerSplitter->setHandleWidth(3);
    m_lowerSplitter->setChildrenCollapsible(false);
    m_lowerSplitter->setToolTip(QStringLiteral("Drag Bar to Resize"));

    m_summarySplitter = new QSplitter(Qt::Horizontal);
    m_summarySplitter->setHandleWidth(3);
    m_summarySplitter->setChildrenCollapsible(false);
    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto *payLayout = new QVBoxLayout(Panel1);
    payLayout->setContentsMargins(0, 0, 0, 0);
    payLayout->setSpacing(0);
    payLayout->addWidget(titleStrip(QStringLiteral("Pay Now Summary"), Panel1));
    payLayout->addWidget(DBGridPayDate);
    auto *duePanel = new QWidget;
    auto *dueLayout = new QVBoxLayout(duePanel);
    dueLayout->setContentsMargins(0, 0, 0, 0);
    dueLayout->setSpacing(0);
    dueLayout->addWidget(titleStrip(QStringLiteral("Due Date Summary"), duePanel));
    dueLayout->addWidget(DBGridDueDate);
    m_summarySplitter->addWidget(Panel1);
    m_summarySplitter->addWidget(duePanel);
    m_summarySplitter->setSizes({400, 261});

    PanelExpenseAging = new QWidget;
    PanelExpenseAging->setObjectName(QStringLiteral("PanelExpenseAging"));
    PanelExpenseAging->setMinimumHeight(39);
    auto *ageLayout = new QVBoxLayout(PanelExpenseAging);
    ageLayout->setContentsMargins(0, 0, 0, 0);
    ageLayout->setSpacing(0);
    ageLayout->addWidget(titleStrip(QStringLiteral("Summary by Due Date Range"), PanelExpenseAging));
    ageLayout->addWidget(DBGridAge);
    m_ageStatus = new QLabel;
    m_ageStatus->setFrameShape(QFrame::StyledPanel);
    m_ageStatus->setFixedHeight(16);
    ageLayout->addWidget(m_ageStatus);

    m_lowerSplitter->addWidget(m_summarySplitter);
    m_lowerSplitter->addWidget(PanelExpenseAging);
    m_lowerSplitter->setSizes({100, 110});
    lower->addWidget(m_lowerSplitter);

    m_outerSplitter->addWidget(Panel3);
    m_outerSplitter->setStretchFactor(0, 1);
    m_outerSplitter->setStretchFactor(1, 0);
    m_outerSplitter->setSizes({288, 210});
    outer->addWidget(m_outerSplitter);
    setCentralWidget(central);

    DBGridPayDate->setToolTip(QStringLiteral("Pay Date Summary"));
    DBGridDueDate->setToolTip(QStringLiteral("Due Date Summary"));
    DBGridAge->setToolTip(QStringLiteral("Due Date Aging Summary"));

    // Status line: Record n:count | Sorted by … | Mode: …
    QStatusBar *status = statusBar();
    status->setSizeGripEnabled(false);
    status->setFixedHeight(18);
    auto *word = new QLabel(QStringLiteral("Record"));
    status->addWidget(word);
    status->addWidget(m_recordLabel);
    LabelSort->setAlignment(Qt::AlignCenter);
    LabelSort->setObjectName(QStringLiteral("LabelSort"));
    status->addWidget(LabelSort, 1);
    status->addPermanentWidget(m_modeLabel);
}

void TfrmSched::wireTable()
{
    QList<GridColumn> columns = {
        {QStringLiteral("PayNow"), QStringLiteral("Pay?"), 40},
        {QStringLiteral("Due Date"), {}, 84},
        {QStringLiteral("Description"), {}, 167},
        {QStringLiteral("Bill Amount"), QStringLiteral("Expense Amount"), 61},
        {QStringLiteral("Pay Amount"), QStringLiteral("Income Amount"), 62},
        {QStringLiteral("Frequency"), QStringLiteral("Repeat Every"), 65},
        {QStringLiteral("Units"), {}, 74},
        {QStringLiteral("End Date"), {}, 61},
        {QStringLiteral("Warning Days"), {}, 64},
        {QStringLiteral("Budget"), QStringLiteral("Budget Amount"), 64},
        {QStringLiteral("Balance"), {}, 64},
        {QStringLiteral("User Field 1"), {}, 80},
        {QStringLiteral("User Field 2"), {}, 80},
        {QStringLiteral("User Field 3"), {}, 80},
        {QStringLiteral("User Field 4"), {}, 80},
    };
    DBGridSched->setTable(TableSched);
    DBGridSched->setColumns(columns);
    DBGridSched->setIntervalSource([this] { return agingInterval(); });
    DBGridSched->setDefaultWarnSource([this] { return EditDefaultWarn->text(); });
    DBGridSched->titles()->markSortSection(1);
    connect(DBGridSched, &ItemGrid::sortChanged, LabelSort, &QLabel::setText);
    connect(DBGridSched, &ItemGrid::statusChanged, this, &TfrmSched::updateStatus);
    connect(TableSched, &Table::stateChanged, this, &TfrmSched::updateStatus);

    // One-time items always carry frequency 0 and the unit "One Time".
    connect(TableSched, &Table::updateData, this, [this] {
        const QVariant frequency = TableSched->value(QStringLiteral("Frequency"));
        const QVariant units = TableSched->value(QStringLiteral("Units"));
        const QString u = units.toString();
        if (frequency.isNull() || units.isNull() || frequency.toInt() == 0 || u == QLatin1String(" ")
            || u == QLatin1String("One Time")) {
            TableSched->setValue(QStringLiteral("Units"), QStringLiteral("One Time"));
            TableSched->setValue(QStringLiteral("Frequency"), 0);
        }
    });
    connect(TableSched, &Table::beforePost, this, [] { BusyPointer::set(true); });
    connect(TableSched, &Table::postError, this, [] { BusyPointer::set(false); });
    connect(TableSched, &Table::afterPost, this, [this] {
        TableSched->flush();
        reopenSummaryQueries();
        UpdateDueTotals();
        BusyPointer::set(false);
    });
    connect(TableSched, &Table::afterDelete, this, [this] {
        reopenSummaryQueries();
        UpdateDueTotals();
    });
}

void TfrmSched::updateStatus()
{
    if (!TableSched->isOpen()) {
        m_recordLabel->setText(QString());
        m_modeLabel->setText(QStringLiteral("Mode: Closed"));
        return;
    }
    m_recordLabel->setText(QStringLiteral("%1:%2").arg(TableSched->recNo()).arg(TableSched->recordCount()));
    QString mode;
    switch (TableSched->state()) {
    case Table::State::Browse:
        mode = QStringLiteral("Browse");
        break;
    case Table::State::Edit:
        mode = QStringLiteral("Edit");
        break;
    case Table::State::Insert:
        mode = QStringLiteral("Insert");
        break;
    case Table::State::Inactive:
        mode = QStringLiteral("Closed");
        break;
    }
    m_modeLabel->setText(QStringLiteral("Mode: ") + mode);
}

bool TfrmSched::FormCreate()
{
    BusyPointer::set(true);
    try {
        Templates::provideMissing(Help::programFolder());
        Upgrade::stepA();
        Upgrade::Hooks hooks;
        hooks.announce = [] {
            Messages::current().inform(
                QStringLiteral("Your Duesmith database will now be updated to the latest version."));
        };
        hooks.setBusy = [](bool on) { BusyPointer::set(on); };
        Upgrade::stepB(hooks);
        Tableresched->close();
        Tableresched->setExclusive(true);
        Tableresched->open();
        Upgrade::stepC();
        Tableresched->close();
        Tableresched->setExclusive(false);

        // Every table must be readable and of its layout before anything is shown.
        Engine &engine = Engine::instance();
        engine.verify(QStringLiteral("schedule.DB"), Layouts::item());
        engine.verify(QStringLiteral("history.DB"), Layouts::item());
        engine.verify(QStringLiteral("resched.DB"), Layouts::item());
        engine.verify(QStringLiteral("payee.db"), Layouts::payee());
        engine.verify(QStringLiteral("age.db"), Layouts::aging());

        Tableresched->open();
        TableSched->close();
        TableSched->setExclusive(false);
        TableSched->open();
        reopenSummaryQueries();
        TableAge->close();
        TableAge->open();
    } catch (const std::exception &e) {
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

void TfrmSched::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
}

void TfrmSched::setFieldLabels()
{
    const struct
    {
        const char *field;
        const char *label;
    } labels[] = {{"Pay Date", "Pay Date"},       {"Due Date", "Due Date"},
                  {"Description", "Payee"},       {"Bill Amount", "Expense Amount"},
                  {"Pay Amount", "Income Amount"}, {"Frequency", "Repeat"},
                  {"Units", "Units"},             {"End Date", "End Date"},
                  {"Warning Days", "Warning Days"}, {"Budget", "Budget Amount"},
                  {"Balance", "Balance"}};
    for (const auto &l : labels)
        TableSched->setDisplayLabel(QString::fromLatin1(l.field), QString::fromLatin1(l.label));
    for (int i = 1; i <= 4; ++i)
        TableSched->setDisplayLabel(QStringLiteral("User Field %1").arg(i), userTitle(i));
    DBGridSched->itemModel()->headerTitlesChanged();
}

void TfrmSched::LoadPayeePickList()
{
    QStringList names;
    TablePayee->close();
    TablePayee->setIndexName(QString());
    TablePayee->open();
    for (TablePayee->first(); !TablePayee->eof(); TablePayee->next())
        names.append(TablePayee->value(QStringLiteral("Payee")).toString());
    TablePayee->close();
    if (names.isEmpty())
        names.append(QStringLiteral("Click \"Payee List\" on the toolbar to add to payee list."));
    DBGridSched->setPickList(QStringLiteral("Description"), names);
}

void TfrmSched::Timer1Timer()
{
    Timer1->stop();
    if (m_startupDone)
        return;
    m_startupDone = true;
    UpdateDueTotals();
    setFieldLabels();
    LoadPayeePickList();
    if (CheckBoxIntro->isChecked() && Windows::FrmIntro)
        Windows::FrmIntro->execFor(CheckBoxIntro);
    if (Windows::resumeInterruptedRun)
        Windows::resumeInterruptedRun();
    if (CheckBoxDisplayReminder->isChecked())
        showOverdueReminder();
    BusyPointer::set(false);
    if (TableSched->isOpen() && TableSched->isEmpty() && TableSched->state() == Table::State::Browse)
        SpeedItemNewClick();
}

void TfrmSched::showModal(QDialog *dialog)
{
    dialog->exec();
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
    static const char *fields[] = {"Pay Date",     "Due Date",     "Description",  "Bill Amount",
                                   "Pay Amount",   "Frequency",    "Units",        "End Date",
                                   "Warning Days", "Budget",       "Balance",      "User Field 1",
                                   "User Field 2", "User Field 3", "User Field 4"};
    // The record passes through the work table, which is empty before and after.
    if (!Tableresched->isOpen())
        Tableresched->open();
    Tableresched->emptyTable();
    Tableresched->append();
    for (const char *f : fields)
        Tableresched->setValue(QString::fromLatin1(f), TableSched->value(QString::fromLatin1(f)));
    Tableresched->post();
    Tableresched->flush();
    TableSched->append();
    for (const char *f : fields)
        TableSched->setValue(QString::fromLatin1(f), Tableresched->value(QString::fromLatin1(f)));
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
    if (Windows::FrmBackup)
        showModal(Windows::FrmBackup);
}

void TfrmSched::ExportClick() { }

void TfrmSched::OptionsClick()
{
    if (!Windows::FrmOptions)
        return;
    showModal(Windows::FrmOptions);
}

void TfrmSched::ToolTipClick()
{
    if (!Windows::FrmIntro)
        return;
    BusyPointer::set(true);
    Windows::FrmIntro->execFor(CheckBoxIntro);
    BusyPointer::set(false);
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
    if (CheckBoxConfirmExit->isChecked()
        && !Messages::current().confirmYesNo(QStringLiteral("Are you sure you want to close Duesmith?")))
        return false;
    if (CheckBoxBackupReminder->isChecked()
        && Messages::current().confirmYesNo(
            QStringLiteral("Perform a backup of your Duesmith files before closing?"))) {
        if (Windows::FrmBackup)
            showModal(Windows::FrmBackup);
    }
    return true;
}

void TfrmSched::FormClose()
{
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
    if (m_created && TableSched->isEditing()) {
        // A new record that holds nothing but its defaults is dropped; anything
        // the user typed is posted, and a refused post keeps the window open.
        const bool blank = TableSched->state() == Table::State::Insert
            && TableSched->isNull(QStringLiteral("Description"))
            && TableSched->isNull(QStringLiteral("Due Date"))
            && TableSched->isNull(QStringLiteral("Bill Amount"))
            && TableSched->isNull(QStringLiteral("Pay Amount"));
        if (blank)
            TableSched->cancel();
        else if (!DBGridSched->postPending()) {
            event->ignore();
            return;
        }
    }
    // The settings store saves on close, after the question allowed it.
    QMainWindow::closeEvent(event);
    if (m_created)
        FormClose();
    event->accept();
}
