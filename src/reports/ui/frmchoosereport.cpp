#include "frmchoosereport.h"

#include "data/engineerror.h"
#include "data/formats.h"
#include "dialogs/frmcalendar.h"
#include "dialogs/keypreview.h"
#include "frmrptprev.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"
#include "platform/slowwork.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace {
const QString HelpPage = QStringLiteral("choose_report.hta");

const QString PayFlagSummary = QStringLiteral("Summary by Pay Flag");
const QString DueDateSummary = QStringLiteral("Summary by Due Date");
const QString DueDateRangeSummary = QStringLiteral("Summary by Due Date Range");
const QString DueDate = QStringLiteral("Due Date");
const QString ProcessDate = QStringLiteral("Process Date");
const QString PayFlag = QStringLiteral("Pay Flag");

QStringList sortEntries()
{
    return { DueDate, PayFlag, QStringLiteral("Description"), QStringLiteral("Expense"),
        QStringLiteral("Income"), QStringLiteral("Frequency"), QStringLiteral("Units"),
        QStringLiteral("Budget"), QStringLiteral("Balance"), QStringLiteral("User Field 1"),
        QStringLiteral("User Field 2"), QStringLiteral("User Field 3"),
        QStringLiteral("User Field 4"), ProcessDate };
}

// A sheet being written on, line by line, while the chooser is open.
class WritingPicture : public QWidget
{
public:
    explicit WritingPicture(QWidget *parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("Animate1"));
        setFixedSize(32, 32);
        m_timer.setInterval(150);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_frame = (m_frame + 1) % Frames;
            update();
        });
    }

protected:
    void showEvent(QShowEvent *) override { m_timer.start(); }
    void hideEvent(QHideEvent *) override { m_timer.stop(); }
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(60, 60, 60));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 2.5, 20, 27));
        // Five lines, the current one growing towards the right.
        const int line = std::min(m_frame / 4, 4);
        const int part = m_frame < 20 ? m_frame % 4 + 1 : 4;
        p.setPen(QPen(QColor(40, 60, 140), 1.5));
        for (int i = 0; i <= line; ++i) {
            const double y = 8 + i * 4.5;
            const double length = i < line ? 14 : 14.0 * part / 4;
            p.drawLine(QPointF(8.5, y), QPointF(8.5 + length, y));
            if (i == line && m_frame < 20) {
                // The pen at the end of the line.
                p.save();
                p.setPen(QPen(QColor(180, 120, 30), 2.5));
                p.drawLine(QPointF(8.5 + length, y), QPointF(13.5 + length, y - 6));
                p.restore();
            }
        }
    }

private:
    static constexpr int Frames = 26;
    QTimer m_timer;
    int m_frame = 0;
};

QToolButton *calendarButton(const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(QStringLiteral("..."));
    button->setToolTip(QStringLiteral("Pick the date from a calendar"));
    // The input keeps the focus, so that picking a date never checks a
    // half-typed one first.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}
} // namespace

DateInput::DateInput(QWidget *parent)
    : QLineEdit(parent)
{ }

void DateInput::pickDate()
{
    if (const std::optional<QDate> picked = TFrmcalendar::pick(Formats::parseDate(text()))) {
        setText(Formats::date(*picked));
        selectAll();
    }
}

void DateInput::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // Only when the user moves on inside the window, not when another window
    // (this check's own message, the date picker) takes over.
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::MouseFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        // After the focus has settled on the next control.
        QTimer::singleShot(0, this, &DateInput::checkDate);
        break;
    default:
        break;
    }
}

void DateInput::checkDate()
{
    const QString shown = text().trimmed();
    if (shown.isEmpty() || Formats::parseDate(shown).isValid() || !isVisible() || !isEnabled())
        return;
    Messages::current().error(
        QStringLiteral("\"%1\" is not a valid date. Type a date such as %2, or leave it blank.")
            .arg(shown, Formats::date(QDate(2099, 12, 31))));
    setFocus(Qt::OtherFocusReason);
    selectAll();
}

TFrmChooseReport::TFrmChooseReport(TFrmRptPrev *preview, QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_preview(preview)
{
    setObjectName(QStringLiteral("FrmChooseReport"));
    setWindowTitle(QStringLiteral("Choose Report"));

    auto *picture = new WritingPicture(this);
    auto *selectLabel = new QLabel(QStringLiteral("Select a Report:"), this);
    ReportComboBox1 = new QComboBox(this);
    ReportComboBox1->setObjectName(QStringLiteral("ReportComboBox1"));
    ReportComboBox1->addItems(reportEntries());
    ReportComboBox1->setEditable(false);
    selectLabel->setBuddy(ReportComboBox1);

    auto *sortLabel = new QLabel(QStringLiteral("Sort By: "), this);
    ComboBoxSort = new QComboBox(this);
    ComboBoxSort->setObjectName(QStringLiteral("ComboBoxSort"));
    ComboBoxSort->addItems(sortEntries());
    ComboBoxSort->setMaxVisibleItems(14);
    sortLabel->setBuddy(ComboBoxSort);

    QWidget *filter = makeFilter();
    ButtonViewReport = new QPushButton(QStringLiteral("View &Report"), this);
    ButtonViewReport->setObjectName(QStringLiteral("ButtonViewReport"));
    ButtonViewReport->setDefault(true);

    auto *top = new QGridLayout;
    top->addWidget(picture, 0, 0, 2, 1, Qt::AlignTop);
    top->addWidget(selectLabel, 0, 1);
    top->addWidget(ReportComboBox1, 1, 1);
    top->setColumnStretch(1, 1);
    auto *sortRow = new QHBoxLayout;
    sortRow->addWidget(sortLabel);
    sortRow->addWidget(ComboBoxSort, 1);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(ButtonViewReport);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(4);
    layout->addLayout(sortRow);
    layout->addWidget(filter);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connectControls();
    resetInputs();
}

QWidget *TFrmChooseReport::makeFilter()
{
    auto *filter = new QGroupBox(QStringLiteral(" Report Filter "), this);
    filter->setObjectName(QStringLiteral("GroupBox1"));
    ComboBoxDateFilter = new QComboBox(filter);
    ComboBoxDateFilter->setObjectName(QStringLiteral("ComboBoxDateFilter"));
    ComboBoxDateFilter->addItems({ DueDate, ProcessDate });
    m_beginLabel = new QLabel(QStringLiteral("Between "), filter);
    EditDateBegin = new DateInput(filter);
    EditDateBegin->setObjectName(QStringLiteral("EditDateBegin"));
    ButtonDateBegin = calendarButton(QStringLiteral("ButtonDateBegin"), filter);
    m_beginLabel->setBuddy(EditDateBegin);
    m_endLabel = new QLabel(QStringLiteral("And "), filter);
    EditDateEnd = new DateInput(filter);
    EditDateEnd->setObjectName(QStringLiteral("EditDateEnd"));
    ButtonDateEnd = calendarButton(QStringLiteral("ButtonDateEnd"), filter);
    m_endLabel->setBuddy(EditDateEnd);

    auto *filterLayout = new QGridLayout(filter);
    filterLayout->addWidget(ComboBoxDateFilter, 0, 1, 1, 2);
    filterLayout->addWidget(m_beginLabel, 1, 0);
    filterLayout->addWidget(EditDateBegin, 1, 1);
    filterLayout->addWidget(ButtonDateBegin, 1, 2);
    filterLayout->addWidget(m_endLabel, 2, 0);
    filterLayout->addWidget(EditDateEnd, 2, 1);
    filterLayout->addWidget(ButtonDateEnd, 2, 2);
    filterLayout->setColumnStretch(1, 1);
    return filter;
}

void TFrmChooseReport::connectControls()
{
    connect(ReportComboBox1, &QComboBox::currentIndexChanged, this,
        &TFrmChooseReport::applyEnabledState);
    connect(ButtonDateBegin, &QToolButton::clicked, EditDateBegin, &DateInput::pickDate);
    connect(ButtonDateEnd, &QToolButton::clicked, EditDateEnd, &DateInput::pickDate);
    connect(
        ButtonViewReport, &QPushButton::clicked, this, &TFrmChooseReport::ButtonViewReportClick);

    new KeyPreview(this, [](QKeyEvent *event) {
        if (!Help::isHelpKey(event))
            return false;
        Help::open(HelpPage);
        return true;
    });
}

TFrmChooseReport::~TFrmChooseReport() = default;

QStringList TFrmChooseReport::reportEntries()
{
    return { QStringLiteral("Scheduled Items - Standard"),
        QStringLiteral("Scheduled Items - Extended (Includes User Fields)"), PayFlagSummary,
        DueDateSummary, DueDateRangeSummary, QStringLiteral("History Items - Standard"),
        QStringLiteral("History Items - Extended (Includes User Fields)") };
}

void TFrmChooseReport::setReports(std::vector<std::unique_ptr<Reports::Report>> reports)
{
    m_reports = std::move(reports);
}

Reports::Request TFrmChooseReport::request() const
{
    Reports::Request r;
    r.sort = ComboBoxSort->currentText();
    r.dateField = ComboBoxDateFilter->currentText();
    r.begin = EditDateBegin->text();
    r.end = EditDateEnd->text();
    return r;
}

void TFrmChooseReport::resetInputs()
{
    {
        const QSignalBlocker block(ReportComboBox1);
        ReportComboBox1->setCurrentIndex(0);
    }
    ComboBoxSort->setCurrentText(DueDate);
    ComboBoxDateFilter->setCurrentText(DueDate);
    EditDateBegin->setText(Formats::date(QDate(1900, 1, 1)));
    EditDateEnd->setText(Formats::date(QDate(2099, 12, 31)));
    applyEnabledState();
}

void TFrmChooseReport::applyEnabledState()
{
    const QString report = ReportComboBox1->currentText();
    bool lists = true, dates = true;
    if (report == PayFlagSummary) {
        lists = dates = false;
        ComboBoxSort->setCurrentText(PayFlag);
        ComboBoxDateFilter->setCurrentText(ProcessDate);
    } else if (report == DueDateSummary || report == DueDateRangeSummary) {
        lists = false;
        dates = report == DueDateSummary;
        ComboBoxSort->setCurrentText(DueDate);
        ComboBoxDateFilter->setCurrentText(DueDate);
    }
    ComboBoxSort->setEnabled(lists);
    ComboBoxDateFilter->setEnabled(lists);
    for (QWidget *w : std::initializer_list<QWidget *>{
             m_beginLabel, EditDateBegin, ButtonDateBegin, m_endLabel, EditDateEnd, ButtonDateEnd })
        w->setEnabled(dates);
}

void TFrmChooseReport::showEvent(QShowEvent *event)
{
    // Every opening starts from the defaults. Coming back from a message box
    // or the date picker is not an opening: what the user typed stays.
    if (!event->spontaneous())
        resetInputs();
    QDialog::showEvent(event);
    ReportComboBox1->setFocus();
}

Reports::Report *TFrmChooseReport::chosenReport() const
{
    const QString entry = ReportComboBox1->currentText();
    for (const auto &report : m_reports)
        if (report->entryText() == entry)
            return report.get();
    return nullptr;
}

void TFrmChooseReport::ButtonViewReportClick()
{
    Reports::Report *report = chosenReport();
    if (!report)
        return;
    BusyPointer::set(true);
    std::unique_ptr<ReportEngine::PageStore> pages;
    try {
        SlowWork work(this, QStringLiteral("Preparing \"%1\"...").arg(report->entryText()));
        pages = report->prepareFirstPage(request(), work.progress());
    } catch (const EngineError &e) {
        BusyPointer::set(false);
        Messages::current().error(e.message());
        return;
    } catch (const std::exception &e) {
        BusyPointer::set(false);
        Messages::current().error(QString::fromLocal8Bit(e.what()));
        return;
    }
    if (!pages) { // cancelled
        BusyPointer::set(false);
        return;
    }
    m_preview->preview(std::move(pages), report->entryText());
    // Back over the chooser: the defaults again, and the arrow.
    resetInputs();
    BusyPointer::set(false);
    ReportComboBox1->setFocus();
}
