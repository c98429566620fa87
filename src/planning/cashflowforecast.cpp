#include "cashflowforecast.h"

#include "forecastfile.h"
#include "projectionjob.h"

#include "app/colours.h"

#include "app/formstorage.h"
#include "app/savefile.h"
#include "data/destination.h"
#include "data/engineerror.h"
#include "data/formats.h"
#include "data/tablefiles.h"
#include "dialogs/keypreview.h"
#include "domain/projection.h"
#include "platform/busypointer.h"
#include "platform/clock.h"
#include "platform/installpaths.h"
#include "platform/messages.h"
#include "platform/slowwork.h"

#include <QAbstractTableModel>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {
qint64 msecs(const QDate &date)
{
    return QDateTime(date, QTime(12, 0)).toMSecsSinceEpoch();
}
} // namespace

// The projected occurrences with the running balance.
class ForecastModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setForecast(const CashFlow *forecast)
    {
        beginResetModel();
        m_forecast = forecast;
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() || !m_forecast ? 0 : int(m_forecast->table().size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(ForecastFile::columnTitles().size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || !m_forecast)
            return {};
        const std::size_t row = std::size_t(index.row());
        if (role == Qt::DisplayRole) {
            return ForecastFile::cell(*m_forecast, row, index.column());
        } else if (role == Qt::TextAlignmentRole && index.column() >= 2) {
            return int(Qt::AlignRight | Qt::AlignVCenter);
        } else if (role == Qt::ForegroundRole) {
            const QColor colour = ForecastFile::cellColour(*m_forecast, row, index.column());
            if (colour.isValid())
                return Colours::foreground(colour);
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return ForecastFile::columnTitles().value(section);
        return {};
    }

private:
    const CashFlow *m_forecast = nullptr;
};

CashFlowForecast::CashFlowForecast(QWidget *parent)
    : QDialog(parent)
    , m_model(new ForecastModel(this))
    , m_job(new ProjectionJob(this))
{
    setObjectName(QStringLiteral("CashFlowForecast"));
    setWindowTitle(QStringLiteral("Cash Flow Forecast"));

    QHBoxLayout *top = buildTopRow();

    m_chart = new QChart;
    if (Colours::isDark(palette()))
        m_chart->setTheme(QChart::ChartThemeDark);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chartView = new QChartView(m_chart, this);
    m_chartView->setObjectName(QStringLiteral("Chart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumSize(760, 300);

    m_lowest = new QLabel(this);
    m_lowest->setObjectName(QStringLiteral("LabelLowest"));
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setFormat(QStringLiteral("Projecting the schedule... %p%"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("ButtonCancel"));
    m_cancel->setAutoDefault(false);
    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_cancel);
    showProgress(false);
    // A short projection finishes before any progress would be seen.
    m_progressDelay = new QTimer(this);
    m_progressDelay->setSingleShot(true);
    m_progressDelay->setInterval(500);
    connect(m_progressDelay, &QTimer::timeout, this, [this] { showProgress(true); });

    buildTable();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Return in the balance only takes the new balance.
    buttons->button(QDialogButtonBox::Close)->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_chartView, 3);
    layout->addWidget(m_lowest);
    layout->addLayout(progressRow);
    layout->addWidget(m_table, 2);
    layout->addWidget(buttons);

    connect(m_balance, &QLineEdit::editingFinished, this, &CashFlowForecast::project);
    connect(m_horizon, &QComboBox::currentIndexChanged, this, &CashFlowForecast::project);
    connect(m_pdf, &QPushButton::clicked, this, &CashFlowForecast::choosePdf);
    connect(m_csv, &QPushButton::clicked, this, &CashFlowForecast::chooseCsv);
    connect(m_cancel, &QPushButton::clicked, this, &CashFlowForecast::cancel);
    connect(m_job, &ProjectionJob::progressed, m_progress, &QProgressBar::setValue);
    connect(m_job, &ProjectionJob::finished, this, &CashFlowForecast::projected);

    m_storage = new FormStorage(this, QStringLiteral("CashFlowForecast"), FormStorage::Position);
    m_storage->addProperty(m_balance, QStringLiteral("EditBalance"));
    m_storage->addProperty(m_horizon, QStringLiteral("ComboHorizon"));
    m_storage->addProperty(
        QStringLiteral("SaveDialog_InitialDir"), [this] { return m_saveFolder; },
        [this](const QString &folder) {
            m_saveFolder = folder;
            return true;
        });
    m_storage->attach();
    KeyPreview::bindHelpKey(this, QStringLiteral("cash_flow_forecast.hta"));
}

// The starting balance, the horizon and the two save buttons.
QHBoxLayout *CashFlowForecast::buildTopRow()
{
    m_balance = new QLineEdit(QStringLiteral("0.00"), this);
    m_balance->setObjectName(QStringLiteral("EditBalance"));
    m_balance->setMaximumWidth(m_balance->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 18);
    auto *balanceLabel = new QLabel(QStringLiteral("&Starting balance:"), this);
    balanceLabel->setBuddy(m_balance);
    m_horizon = new QComboBox(this);
    m_horizon->setObjectName(QStringLiteral("ComboHorizon"));
    for (int days : Horizons)
        m_horizon->addItem(QStringLiteral("%1 days").arg(days), days);
    m_horizon->setCurrentIndex(1);
    auto *horizonLabel = new QLabel(QStringLiteral("&Horizon:"), this);
    horizonLabel->setBuddy(m_horizon);
    m_pdf = new QPushButton(QStringLiteral("Save as &PDF..."), this);
    m_pdf->setObjectName(QStringLiteral("ButtonPdf"));
    m_csv = new QPushButton(QStringLiteral("Export &CSV..."), this);
    m_csv->setObjectName(QStringLiteral("ButtonCsv"));
    for (QPushButton *b : { m_pdf, m_csv })
        b->setAutoDefault(false);

    auto *top = new QHBoxLayout;
    top->addWidget(balanceLabel);
    top->addWidget(m_balance);
    top->addSpacing(12);
    top->addWidget(horizonLabel);
    top->addWidget(m_horizon);
    top->addStretch(1);
    top->addWidget(m_pdf);
    top->addWidget(m_csv);
    return top;
}

void CashFlowForecast::buildTable()
{
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("ForecastTable"));
    m_table->setModel(m_model);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int c : { 2, 3, 4 })
        m_table->setColumnWidth(c,
            m_table->fontMetrics().horizontalAdvance(
                ForecastFile::columnTitles().value(c) + QStringLiteral("0000")));
    // The widest date, with the mark of an overdue item.
    m_table->setColumnWidth(0,
        m_table->fontMetrics().horizontalAdvance(
            Formats::date(QDate(2028, 12, 28)) + QStringLiteral(" (overdue)0000")));
    // Room for a payee beside the fixed columns, whatever the desktop's font.
    int fixed = 0;
    for (int c : { 0, 2, 3, 4 })
        fixed += m_table->columnWidth(c);
    m_table->setMinimumWidth(fixed + m_table->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 16
        + m_table->verticalScrollBar()->sizeHint().width() + 4);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->setMinimumHeight(m_table->fontMetrics().height() * 10);
}

CashFlowForecast::~CashFlowForecast() = default;

bool CashFlowForecast::busy() const
{
    return m_job->running();
}

std::optional<Money> CashFlowForecast::startingBalance() const
{
    return Formats::parseMoney(m_balance->text());
}

void CashFlowForecast::refuseBalance()
{
    m_balance->setStyleSheet(QStringLiteral("color: red"));
    m_lowest->setText(QStringLiteral("The starting balance \"%1\" is not an amount: type it as "
                                     "1234.56 or %2.")
                          .arg(m_balance->text().trimmed(), Formats::money(1234.56)));
    clear();
}

void CashFlowForecast::clear()
{
    m_model->setForecast(nullptr);
    m_forecast.reset();
    m_chart->removeAllSeries();
    m_pdf->setEnabled(false);
    m_csv->setEnabled(false);
}

void CashFlowForecast::showProgress(bool shown)
{
    m_progress->setVisible(shown);
    m_cancel->setVisible(shown);
}

void CashFlowForecast::cancel()
{
    m_job->cancel();
    m_progressDelay->stop();
    showProgress(false);
    clear();
    m_lowest->setText(QStringLiteral("The forecast was cancelled."));
}

void CashFlowForecast::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    project();
}

// The projection is the window's one large holding; closed, it is given back.
void CashFlowForecast::hideEvent(QHideEvent *event)
{
    m_job->cancel();
    m_progressDelay->stop();
    showProgress(false);
    clear();
    ProjectionJob::giveBackMemory();
    QDialog::hideEvent(event);
}

void CashFlowForecast::project()
{
    if (!isVisible())
        return;
    if (!startingBalance()) {
        refuseBalance();
        return;
    }
    m_balance->setStyleSheet(QString());
    m_today = Clock::current().today();
    m_until = m_today.addDays(m_horizon->currentData().toInt());
    m_progress->setValue(0);
    // The old forecast goes before the new one is made: never two at once.
    clear();
    m_lowest->setText(QString());
    m_progressDelay->start();
    // The schedule is read on the worker too: a large one holds up nothing here.
    m_job->start(TableFiles::Schedule, m_today, QDate(), m_until, ProjectionTable::Use::Forecast);
}

void CashFlowForecast::projected()
{
    m_progressDelay->stop();
    showProgress(false);
    if (!m_job->error().isEmpty())
        Messages::current().error(m_job->error());
    const std::optional<Money> start = startingBalance();
    if (!start) {
        refuseBalance();
        return;
    }
    m_forecast
        = std::make_shared<const CashFlow>(*start, m_today, m_until, std::move(m_job->result()));
    m_model->setForecast(m_forecast.get());
    drawChart();
    const CashFlow::Day low = m_forecast->lowest();
    m_lowest->setText(QStringLiteral("Lowest balance: %1 on %2")
                          .arg(Formats::money(low.balance), Formats::date(low.date)));
    m_pdf->setEnabled(true);
    m_csv->setEnabled(true);
}

void CashFlowForecast::drawChart()
{
    m_chart->removeAllSeries();
    // A removed axis is the caller's again.
    for (QAbstractAxis *axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }

    auto *balance = new QLineSeries;
    balance->setName(QStringLiteral("Balance"));
    auto *below = new QLineSeries;
    auto *zero = new QLineSeries;
    double low = 0, high = 0;
    auto point = [&](qint64 x, double value) {
        balance->append(double(x), value);
        below->append(double(x), std::min(value, 0.0));
        zero->append(double(x), 0);
    };
    const std::vector<CashFlow::Day> &days = m_forecast->days();
    for (std::size_t i = 0; i < days.size(); ++i) {
        const qint64 x = msecs(days[i].date);
        const double y = days[i].balance.toDouble();
        // The balance moves in steps: it holds until the day something falls due.
        if (i > 0)
            point(x, days[i - 1].balance.toDouble());
        point(x, y);
        low = std::min(low, y);
        high = std::max(high, y);
    }
    // The days below zero, shaded between the balance and zero.
    auto *shade = new QAreaSeries(below, zero);
    // The area does not own the lines that bound it; they go with it.
    below->setParent(shade);
    zero->setParent(shade);
    shade->setName(QStringLiteral("Below zero"));
    shade->setColor(QColor(255, 0, 0, 70));
    shade->setBorderColor(Qt::transparent);
    balance->setColor(Colours::readable(QColor(0, 0, 160), m_chart->backgroundBrush().color()));

    const CashFlow::Day lowest = m_forecast->lowest();
    auto *mark = new QScatterSeries;
    mark->setName(QStringLiteral("Lowest: %1 on %2")
                      .arg(Formats::money(lowest.balance), Formats::date(lowest.date)));
    mark->setMarkerSize(11);
    mark->setColor(Qt::red);
    mark->append(double(msecs(lowest.date)), lowest.balance.toDouble());

    m_chart->addSeries(shade);
    m_chart->addSeries(balance);
    m_chart->addSeries(mark);

    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("MMM d"));
    x->setRange(QDateTime(m_today, QTime(0, 0)), QDateTime(m_until.addDays(1), QTime(0, 0)));
    x->setTickCount(7);
    auto *y = new QValueAxis;
    const double pad = std::max(1.0, (high - low) * 0.05);
    y->setRange(low - pad, high + pad);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(x, Qt::AlignBottom);
    m_chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries *s : m_chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    m_chart->legend()->markers(shade).value(0)->setVisible(low < 0);
}

QString CashFlowForecast::proposedPath(const QString &fileName) const
{
    const QString folder
        = QFileInfo(m_saveFolder).isDir() ? m_saveFolder : InstallPaths::documentsFolder();
    return QDir(folder).filePath(fileName);
}

void CashFlowForecast::choosePdf()
{
    const QString path = SaveFile::ask(this, QStringLiteral("Save as PDF"),
        proposedPath(QStringLiteral("forecast.pdf")), QStringLiteral("PDF files (*.pdf)"));
    if (!path.isEmpty() && savePdf(path))
        m_saveFolder = QFileInfo(path).absolutePath();
}

void CashFlowForecast::chooseCsv()
{
    const QString path = SaveFile::ask(this, QStringLiteral("Export CSV"),
        proposedPath(QStringLiteral("forecast.csv")), QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty() && exportCsv(path))
        m_saveFolder = QFileInfo(path).absolutePath();
}

namespace {
// The file through the guard; none after telling the user why.
std::unique_ptr<DestinationFile> begin(const QString &path)
{
    try {
        return std::make_unique<DestinationFile>(path);
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
        return nullptr;
    }
}

} // namespace

// The rows are written on a worker, which holds the forecast as it was: a new
// projection meanwhile makes a forecast of its own. Cancel keeps no file.
bool CashFlowForecast::saveAside(const QString &path, const QString &label,
    const std::function<bool(QIODevice &, const CashFlow &, const ForecastFile::Progress &)> &write)
{
    if (!m_forecast || m_saving)
        return false;
    const std::unique_ptr<DestinationFile> file = begin(path);
    if (!file)
        return false;
    m_saving = true;
    for (QWidget *w : std::initializer_list<QWidget *>{ m_pdf, m_csv, m_balance, m_horizon })
        w->setEnabled(false);
    const std::shared_ptr<const CashFlow> forecast = m_forecast;
    bool whole = false;
    try {
        bool written = false;
        whole = SlowWork::aside(this, label, QStringLiteral("Cash Flow Forecast"),
                    [&](const SlowWork::Progress &progress) {
                        written = write(file->device(), *forecast, progress);
                    })
            && written;
    } catch (const std::exception &e) {
        Messages::current().error(QString::fromLocal8Bit(e.what()));
    }
    m_saving = false;
    for (QWidget *w : std::initializer_list<QWidget *>{ m_balance, m_horizon })
        w->setEnabled(true);
    m_pdf->setEnabled(m_forecast != nullptr);
    m_csv->setEnabled(m_forecast != nullptr);
    if (!isVisible())
        ProjectionJob::giveBackMemory(); // closed meanwhile: the forecast held for the file is gone
    if (!whole)
        return false;
    try {
        file->commit();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
        return false;
    }
    return true;
}

bool CashFlowForecast::exportCsv(const QString &path)
{
    return saveAside(path, QStringLiteral("Writing %1...").arg(QFileInfo(path).fileName()),
        [](QIODevice &out, const CashFlow &forecast, const ForecastFile::Progress &progress) {
            return ForecastFile::writeCsv(out, forecast, progress);
        });
}

bool CashFlowForecast::savePdf(const QString &path)
{
    if (!m_forecast)
        return false;
    // The chart is a widget: it is drawn here, and the recording replayed on the page.
    auto heading = std::make_shared<ForecastFile::Heading>();
    heading->title = windowTitle();
    const CashFlow::Day low = m_forecast->lowest();
    heading->summary
        = QStringLiteral("Starting balance %1 on %2, %3 days. Lowest balance: %4 on %5.")
              .arg(Formats::money(m_forecast->startingBalance()), Formats::date(m_today))
              .arg(m_today.daysTo(m_until))
              .arg(Formats::money(low.balance), Formats::date(low.date));
    heading->chartSize = m_chartView->size();
    {
        QPainter painter(&heading->chart);
        m_chartView->render(&painter, QRectF(QPointF(), heading->chartSize));
    }
    return saveAside(path, QStringLiteral("Writing %1...").arg(QFileInfo(path).fileName()),
        [heading](
            QIODevice &out, const CashFlow &forecast, const ForecastFile::Progress &progress) {
            return ForecastFile::writePdf(out, forecast, *heading, progress);
        });
}
