#include "duecalendar.h"

#include "projectionjob.h"

#include "app/colours.h"

#include "app/formstorage.h"
#include "app/frmsched.h"
#include "app/urgency.h"
#include "app/windows.h"
#include "data/formats.h"
#include "data/money.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/keypreview.h"
#include "domain/options.h"
#include "platform/busypointer.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>

namespace {
constexpr int Weeks = 6;

using enum DueCalendar::Role;

int bandOf(const QDate &due)
{
    return Urgency::band(due, OptionsStore::current().agingInterval, Clock::current().now());
}
} // namespace

// The weeks of the month shown, six rows of seven days starting on the
// locale's first day of the week.
class MonthModel : public QAbstractTableModel
{
public:
    struct Day
    {
        Money expense; // exact however many items fall on the day
        Money income;
        QStringList lines;
        QList<int> bands;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setMonth(const QDate &first)
    {
        beginResetModel();
        const int offset = (first.dayOfWeek() - int(QLocale().firstDayOfWeek()) + 7) % 7;
        m_start = first.addDays(-offset);
        m_month = first.month();
        m_days.clear();
        endResetModel();
    }
    void setDays(QHash<qint64, Day> days)
    {
        beginResetModel();
        m_days = std::move(days);
        endResetModel();
    }
    QDate start() const { return m_start; }
    QDate end() const { return m_start.addDays(Weeks * 7 - 1); }
    QModelIndex indexOf(const QDate &day) const
    {
        const qint64 n = m_start.daysTo(day);
        if (n < 0 || n >= Weeks * 7)
            return {};
        return index(int(n / 7), int(n % 7));
    }
    QDate dateAt(const QModelIndex &index) const
    {
        return m_start.addDays(index.row() * 7 + index.column());
    }
    int month() const { return m_month; }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : Weeks;
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 7;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const QDate date = dateAt(index);
        const Day day = m_days.value(date.toJulianDay());
        switch (role) {
        case DateRole:
            return date;
        case ExpenseRole:
            return day.expense.toVariant();
        case IncomeRole:
            return day.income.toVariant();
        case LinesRole:
            return day.lines;
        case BandsRole:
            return QVariant::fromValue(day.bands);
        case Qt::ToolTipRole:
            return day.lines.isEmpty() ? QVariant() : QVariant(day.lines.join(QLatin1Char('\n')));
        case Qt::AccessibleTextRole:
            return QLocale().toString(date, QLocale::LongFormat);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        const int weekday = (int(QLocale().firstDayOfWeek()) - 1 + section) % 7 + 1;
        return QLocale().dayName(weekday, QLocale::ShortFormat);
    }

private:
    QDate m_start;
    int m_month = 0;
    QHash<qint64, Day> m_days;
};

namespace {
// A day's cell: its number, as many of its items as fit in their urgency
// colours, and at the foot the day's expense (maroon) and income (green).
class DayDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(
        QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto *model = static_cast<const MonthModel *>(index.model());
        const QDate date = index.data(DateRole).toDate();
        const bool inMonth = date.month() == model->month();
        const bool selected = option.state & QStyle::State_Selected;
        p->save();
        const QColor field
            = (inMonth ? option.palette.base() : option.palette.alternateBase()).color();
        p->fillRect(option.rect, field);
        // Colours keep their meaning on a dark desktop, lightened until they read on the cell.
        auto pen = [&](const QColor &colour) {
            return Colours::isDark(option.palette) ? Colours::readable(colour, field) : colour;
        };
        const QRect r = option.rect.adjusted(3, 1, -3, -1);
        QFont font = option.font;
        const QFontMetrics fm(font);
        const int line = fm.height();

        QFont numberFont = font;
        numberFont.setBold(date == Clock::current().today());
        p->setFont(numberFont);
        p->setPen(option.palette.color(inMonth ? QPalette::Text : QPalette::PlaceholderText));
        p->drawText(QRect(r.left(), r.top(), r.width(), line), Qt::AlignRight | Qt::AlignVCenter,
            QString::number(date.day()));
        p->setFont(font);

        const QStringList lines = index.data(LinesRole).toStringList();
        const auto bands = index.data(BandsRole).value<QList<int>>();
        const Money expense = Money::fromVariant(index.data(ExpenseRole)).value_or(Money());
        const Money income = Money::fromVariant(index.data(IncomeRole)).value_or(Money());
        // Each total has a line of its own at the foot of the cell.
        const int footLines = (expense.sign() != 0 ? 1 : 0) + (income.sign() != 0 ? 1 : 0);
        const int room = (r.height() - line - footLines * line) / line;
        int y = r.top() + line;
        for (int i = 0; i < lines.size() && i < room; ++i, y += line) {
            QString text = lines[i];
            if (i == room - 1 && lines.size() > room)
                text = QStringLiteral("+%1 more").arg(lines.size() - i);
            p->setPen(pen(Urgency::textColor(bands.value(i, Urgency::NoBand))));
            p->drawText(QRect(r.left(), y, r.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                fm.elidedText(text, Qt::ElideRight, r.width()));
        }
        QRect foot(r.left(), r.bottom() - footLines * line + 1, r.width(), line);
        if (expense.sign() != 0) {
            p->setPen(pen(Colours::Maroon));
            p->drawText(foot, Qt::AlignRight | Qt::AlignVCenter, Formats::money(-expense));
            foot.translate(0, line);
        }
        if (income.sign() != 0) {
            p->setPen(pen(Colours::Green));
            p->drawText(foot, Qt::AlignRight | Qt::AlignVCenter, Formats::money(income));
        }
        if (selected) {
            p->setPen(QPen(option.palette.color(QPalette::Highlight), 2));
            p->drawRect(option.rect.adjusted(1, 1, -1, -1));
        }
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        const QFontMetrics fm(option.font);
        return { fm.horizontalAdvance(QStringLiteral("-0,000.00 $0,000.00")) + 8,
            fm.height() * 5 + 2 };
    }
};

QTableWidgetItem *cell(const QString &text, const QColor &colour, bool right = false)
{
    auto *item = new QTableWidgetItem(text);
    item->setForeground(colour);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (right)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

DueCalendar::DueCalendar(QWidget *parent)
    : QDialog(parent)
    , m_model(new MonthModel(this))
    , m_job(new ProjectionJob(this))
{
    setObjectName(QStringLiteral("DueCalendar"));
    setWindowTitle(QStringLiteral("Calendar"));

    auto *previous = new QPushButton(QStringLiteral("< &Previous"), this);
    previous->setObjectName(QStringLiteral("ButtonPrevious"));
    auto *next = new QPushButton(QStringLiteral("&Next >"), this);
    next->setObjectName(QStringLiteral("ButtonNext"));
    auto *today = new QPushButton(QStringLiteral("&Today"), this);
    today->setObjectName(QStringLiteral("ButtonToday"));
    for (QPushButton *b : { previous, next, today })
        b->setAutoDefault(false);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("LabelMonth"));
    m_title->setAlignment(Qt::AlignCenter);
    QFont big = m_title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    m_title->setFont(big);

    auto *bar = new QHBoxLayout;
    bar->addWidget(previous);
    bar->addWidget(m_title, 1);
    bar->addWidget(today);
    bar->addWidget(next);

    buildMonthView();

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setRange(0, 100);
    m_progress->setFormat(QStringLiteral("Projecting the schedule... %p%"));
    m_progress->hide();

    buildDayList();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Return on an item opens it; it does not close the window.
    buttons->button(QDialogButtonBox::Close)->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_monthView, 3);
    layout->addWidget(m_progress);
    layout->addWidget(m_dayTitle);
    layout->addWidget(m_dayList, 1);
    layout->addWidget(buttons);

    connect(previous, &QPushButton::clicked, this, &DueCalendar::previousMonth);
    connect(next, &QPushButton::clicked, this, &DueCalendar::nextMonth);
    connect(today, &QPushButton::clicked, this, &DueCalendar::showToday);
    for (auto [key, slot] :
        { std::pair{ QKeySequence(Qt::Key_PageUp), &DueCalendar::previousMonth },
            std::pair{ QKeySequence(Qt::Key_PageDown), &DueCalendar::nextMonth },
            std::pair{ QKeySequence(Qt::Key_Home), &DueCalendar::showToday } }) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    }
    connect(m_monthView, &QTableView::clicked, this,
        [this](const QModelIndex &index) { showDay(m_model->dateAt(index)); });
    connect(m_monthView->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex &index) {
            if (index.isValid() && m_model->dateAt(index) != m_selected)
                showDay(m_model->dateAt(index));
        });
    connect(
        m_dayList, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { openItem(row); });
    connect(m_dayList, &QTableWidget::cellActivated, this, [this](int row, int) { openItem(row); });
    connect(m_job, &ProjectionJob::progressed, m_progress, &QProgressBar::setValue);
    connect(m_job, &ProjectionJob::finished, this, &DueCalendar::projected);

    m_storage = new FormStorage(this, QStringLiteral("DueCalendar"), FormStorage::Position);
    m_storage->attach();
    KeyPreview::bindHelpKey(this, QStringLiteral("calendar_screen.hta"));
}

void DueCalendar::buildMonthView()
{
    m_monthView = new QTableView(this);
    m_monthView->setObjectName(QStringLiteral("MonthView"));
    m_monthView->setModel(m_model);
    m_monthView->setItemDelegate(new DayDelegate(m_monthView));
    m_monthView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_monthView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_monthView->verticalHeader()->hide();
    m_monthView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_monthView->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_monthView->setMinimumSize(7 * 118, 6 * 82);
}

// The items of the day chosen, under the month.
void DueCalendar::buildDayList()
{
    m_dayTitle = new QLabel(this);
    m_dayTitle->setObjectName(QStringLiteral("LabelDay"));
    m_dayList = new QTableWidget(0, 5, this);
    m_dayList->setObjectName(QStringLiteral("DayList"));
    m_dayList->setHorizontalHeaderLabels(
        { QStringLiteral("Due Date"), QStringLiteral("Payee"), QStringLiteral("Expense Amount"),
            QStringLiteral("Income Amount"), QStringLiteral("Balance") });
    m_dayList->verticalHeader()->hide();
    m_dayList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_dayList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_dayList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_dayList->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int c : { 2, 3, 4 })
        m_dayList->setColumnWidth(c,
            m_dayList->fontMetrics().horizontalAdvance(
                m_dayList->horizontalHeaderItem(c)->text() + QStringLiteral("0000")));
    m_dayList->setMinimumHeight(m_dayList->fontMetrics().height() * 8);
    m_dayList->setToolTip(QStringLiteral("Double-click an item to show it in the list."));
}

DueCalendar::~DueCalendar() = default;

void DueCalendar::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The schedule as it is now: edits made since the last showing count.
    try {
        BusyPointer::set(true);
        m_schedule = Projection::read(TableFiles::Schedule);
        BusyPointer::set(false);
    } catch (const std::exception &e) {
        BusyPointer::set(false);
        m_schedule.clear();
        Messages::current().error(QString::fromUtf8(e.what()));
    }
    m_month = QDate(); // projected afresh
    showDay(Clock::current().today());
    m_monthView->setFocus();
}

void DueCalendar::hideEvent(QHideEvent *event)
{
    m_job->cancel();
    m_schedule = {};
    m_table = ProjectionTable();
    m_model->setDays({});
    ProjectionJob::giveBackMemory();
    QDialog::hideEvent(event);
}

void DueCalendar::showDay(const QDate &day)
{
    if (!day.isValid())
        return;
    const QDate first(day.year(), day.month(), 1);
    m_selected = day;
    if (first != m_month) {
        m_month = first;
        m_title->setText(QLocale().toString(first, QStringLiteral("MMMM yyyy")));
        m_model->setMonth(first);
        m_table = ProjectionTable();
        project();
    }
    const QModelIndex index = m_model->indexOf(day);
    if (m_monthView->currentIndex() != index)
        m_monthView->setCurrentIndex(index);
    fillDayList();
}

void DueCalendar::previousMonth()
{
    const QDate day = m_selected.addMonths(-1);
    showDay(day.isValid() ? day : m_selected);
}

void DueCalendar::nextMonth()
{
    const QDate day = m_selected.addMonths(1);
    showDay(day.isValid() ? day : m_selected);
}

void DueCalendar::showToday()
{
    showDay(Clock::current().today());
}

bool DueCalendar::busy() const
{
    return m_job->running();
}

void DueCalendar::project()
{
    m_progress->setValue(0);
    m_progress->show();
    m_job->start(m_schedule, Clock::current().today(), m_model->start(), m_model->end(),
        ProjectionTable::Use::Calendar);
}

void DueCalendar::projected()
{
    m_progress->hide();
    m_table = std::move(m_job->result());
    QHash<qint64, MonthModel::Day> days;
    for (std::size_t r = 0; r < m_table.size(); ++r) {
        const qint64 jd = m_table.day(r);
        const ProjectionTable::Amounts &a = m_table.amounts(r);
        MonthModel::Day &day = days[jd];
        day.expense += a.expense;
        day.income += a.income;
        // The payee alone: the day's totals stand at the foot of the cell, and the
        // list below the month gives each amount.
        day.lines.append(m_table.payee(r));
        day.bands.append(bandOf(m_table.date(r)));
    }
    const QModelIndex current = m_model->indexOf(m_selected);
    m_model->setDays(std::move(days));
    m_monthView->setCurrentIndex(current);
    fillDayList();
}

void DueCalendar::fillDayList()
{
    const auto [first, last] = m_table.rowsOn(m_selected);
    Money expense, income;
    m_dayList->setRowCount(0);
    m_listed.clear();
    auto amount = [](bool has, double value) { return has ? Formats::money(value) : QString(); };
    for (std::size_t r = first; r < last; ++r) {
        const ProjectionTable::Amounts &a = m_table.amounts(r);
        const int row = m_dayList->rowCount();
        m_dayList->insertRow(row);
        const QColor colour
            = Colours::onBase(Urgency::textColor(bandOf(m_table.date(r))), palette());
        m_dayList->setItem(row, 0,
            cell(Formats::date(m_table.date(r))
                    + (m_table.overdue(r) ? QStringLiteral(" (overdue)") : QString()),
                colour));
        m_dayList->setItem(row, 1, cell(m_table.payee(r), colour));
        m_dayList->setItem(row, 2,
            cell(amount(a.hasExpense, a.bill), Colours::onBase(Colours::Maroon, palette()), true));
        m_dayList->setItem(row, 3,
            cell(amount(a.hasIncome, a.pay), Colours::onBase(Colours::Green, palette()), true));
        m_dayList->setItem(row, 4, cell(amount(a.hasBalance, a.balance), colour, true));
        m_listed.push_back(m_table.key(r));
        expense += a.expense;
        income += a.income;
    }
    m_dayList->resizeColumnToContents(0);
    QString title = QLocale().toString(m_selected, QLocale::LongFormat);
    if (busy())
        title += QStringLiteral(": projecting...");
    else if (first == last)
        title += QStringLiteral(": nothing falls due.");
    else
        title += QStringLiteral(": expense %1, income %2")
                     .arg(Formats::money(expense), Formats::money(income));
    m_dayTitle->setText(title);
}

void DueCalendar::openItem(int row)
{
    if (row < 0 || row >= int(m_listed.size()))
        return;
    const qint64 key = m_listed[std::size_t(row)];
    if (TfrmSched *main = Windows::frmSched; main && main->TableSched->isOpen()) {
        try {
            main->TableSched->checkBrowseMode();
            main->TableSched->locate(key);
        } catch (const std::exception &e) {
            Messages::current().error(QString::fromUtf8(e.what()));
        }
    }
    accept();
}
