#include "frmcalendar.h"

#include "dialogsupport.h"
#include "platform/clock.h"

#include <QCalendarWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QPointer<TFrmcalendar> sharedPicker;

QToolButton *arrowButton(
    const QString &name, const QString &text, const QString &tip, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setFixedSize(16, 16);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    QFont font = button->font();
    font.setPixelSize(10);
    font.setBold(true);
    button->setFont(font);
    return button;
}
} // namespace

void CalendarSelection::setDate(const QDate &date)
{
    year = date.year();
    month = date.month();
    day = date.day();
}

QDate CalendarSelection::date() const
{
    return QDate(year, month, day);
}

CalendarSelection &CalendarSelection::shared()
{
    static CalendarSelection selection;
    return selection;
}

TFrmcalendar::TFrmcalendar(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FrmCalendar"));
    setWindowTitle(QStringLiteral("Select a Date"));
    setFixedSize(230, 170);

    QWidget *headingBar = makeHeading();
    QFrame *calendarFrame = makeMonthView();
    QHBoxLayout *buttons = makeButtons();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(headingBar);
    layout->addWidget(calendarFrame, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connectControls();
    showHeading();
}

// The month and year arrows either side of the month's name.
QWidget *TFrmcalendar::makeHeading()
{
    auto *headingBar = new QWidget(this);
    headingBar->setFixedHeight(25);
    m_yearBack = arrowButton(QStringLiteral("ButtonYearBack"), QStringLiteral("\u00ab"),
        QStringLiteral("Previous year"), headingBar);
    m_monthBack = arrowButton(QStringLiteral("ButtonMonthBack"), QStringLiteral("\u2039"),
        QStringLiteral("Previous month"), headingBar);
    m_monthForward = arrowButton(QStringLiteral("ButtonMonthForward"), QStringLiteral("\u203a"),
        QStringLiteral("Next month"), headingBar);
    m_yearForward = arrowButton(QStringLiteral("ButtonYearForward"), QStringLiteral("\u00bb"),
        QStringLiteral("Next year"), headingBar);
    m_heading = new QLabel(headingBar);
    m_heading->setAlignment(Qt::AlignCenter);
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    m_heading->setFont(headingFont);
    QPalette headingPalette = m_heading->palette();
    headingPalette.setColor(QPalette::WindowText, Qt::blue);
    m_heading->setPalette(headingPalette);
    auto *headingLayout = new QHBoxLayout(headingBar);
    headingLayout->setContentsMargins(2, 0, 2, 0);
    headingLayout->setSpacing(1);
    headingLayout->addWidget(m_yearBack);
    headingLayout->addWidget(m_monthBack);
    headingLayout->addWidget(m_heading, 1);
    headingLayout->addWidget(m_monthForward);
    headingLayout->addWidget(m_yearForward);
    return headingBar;
}

// The month's days, a week to a line starting on Sunday, in a thin box.
QFrame *TFrmcalendar::makeMonthView()
{
    auto *calendarFrame = new QFrame(this);
    calendarFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette framePalette = calendarFrame->palette();
    framePalette.setColor(QPalette::WindowText, Qt::black);
    calendarFrame->setPalette(framePalette);
    calendarFrame->setFixedSize(222, 117);
    m_calendar = new QCalendarWidget(calendarFrame);
    m_calendar->setNavigationBarVisible(false);
    m_calendar->setFirstDayOfWeek(Qt::Sunday);
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    m_calendar->setGridVisible(false);
    m_calendar->setDateEditEnabled(false);
    m_calendar->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
    QFont calendarFont = m_calendar->font();
    calendarFont.setPixelSize(10);
    m_calendar->setFont(calendarFont);
    // Week-end days look like the others: the week simply starts on Sunday.
    QTextCharFormat plain;
    plain.setForeground(palette().color(QPalette::Text));
    m_calendar->setWeekdayTextFormat(Qt::Saturday, plain);
    m_calendar->setWeekdayTextFormat(Qt::Sunday, plain);
    auto *calendarLayout = new QVBoxLayout(calendarFrame);
    calendarLayout->setContentsMargins(1, 1, 1, 1);
    calendarLayout->addWidget(m_calendar);
    return calendarFrame;
}

QHBoxLayout *TFrmcalendar::makeButtons()
{
    m_ok = new QPushButton(QStringLiteral("Ok"), this);
    m_ok->setObjectName(QStringLiteral("ButtonOk"));
    m_ok->setDefault(true);
    m_ok->setFixedSize(115, 20);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("ButtonCancel"));
    m_cancel->setAutoDefault(false);
    m_cancel->setFixedSize(115, 20);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    return buttons;
}

void TFrmcalendar::connectControls()
{
    connect(m_yearBack, &QToolButton::clicked, this, [this] { moveYears(-1); });
    connect(m_monthBack, &QToolButton::clicked, this, [this] { moveMonths(-1); });
    connect(m_monthForward, &QToolButton::clicked, this, [this] { moveMonths(1); });
    connect(m_yearForward, &QToolButton::clicked, this, [this] { moveYears(1); });
    connect(m_calendar, &QCalendarWidget::selectionChanged, this, &TFrmcalendar::showHeading);
    // Enter in the month view and a double click on a day both arrive here.
    connect(m_calendar, &QCalendarWidget::activated, this, &TFrmcalendar::confirm);
    connect(m_ok, &QPushButton::clicked, this, &TFrmcalendar::confirm);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<QDate> TFrmcalendar::pick(const QDate &current)
{
    CalendarSelection &selection = CalendarSelection::shared();
    selection.setDate(current.isValid() ? current : Clock::current().today());
    selection.chosen = false;
    instance()->exec();
    if (!selection.chosen)
        return std::nullopt;
    return selection.date();
}

TFrmcalendar *TFrmcalendar::instance()
{
    if (!sharedPicker) {
        sharedPicker = new TFrmcalendar;
        DialogSupport::deleteAtExit(sharedPicker);
    }
    return sharedPicker;
}

void TFrmcalendar::setInstance(TFrmcalendar *picker)
{
    sharedPicker = picker;
}

QDate TFrmcalendar::calendarDate() const
{
    return m_calendar->selectedDate();
}

QString TFrmcalendar::heading() const
{
    return m_heading->text();
}

void TFrmcalendar::showEvent(QShowEvent *event)
{
    loadSelection();
    QDialog::showEvent(event);
    if (!event->spontaneous())
        DialogSupport::centreOnScreen(this);
    m_calendar->setFocus();
}

void TFrmcalendar::loadSelection()
{
    // Start from a date every step below can leave valid, then take year,
    // month and day in turn; a value that would make no date is passed over.
    const CalendarSelection &selection = CalendarSelection::shared();
    QDate date(1900, 1, 1);
    if (selection.year >= 1)
        date = QDate(selection.year, date.month(), date.day());
    if (selection.month >= 1 && selection.month <= 12)
        date = QDate(date.year(), selection.month, date.day());
    if (selection.day >= 1 && selection.day <= date.daysInMonth())
        date = QDate(date.year(), date.month(), selection.day);
    m_calendar->setSelectedDate(date);
    showHeading();
}

void TFrmcalendar::confirm()
{
    CalendarSelection &selection = CalendarSelection::shared();
    selection.setDate(m_calendar->selectedDate());
    selection.chosen = true;
    accept();
}

void TFrmcalendar::moveMonths(int months)
{
    const QDate first = m_calendar->selectedDate();
    m_calendar->setSelectedDate(QDate(first.year(), first.month(), 1).addMonths(months));
}

void TFrmcalendar::moveYears(int years)
{
    const QDate first = m_calendar->selectedDate();
    m_calendar->setSelectedDate(QDate(first.year(), first.month(), 1).addYears(years));
}

void TFrmcalendar::showHeading()
{
    const QDate date = m_calendar->selectedDate();
    m_heading->setText(QStringLiteral("%1, %2")
                           .arg(QLocale().monthName(date.month(), QLocale::LongFormat))
                           .arg(date.year(), 4, 10, QLatin1Char('0')));
}
