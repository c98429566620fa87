#include "calendarexport.h"

#include "savefile.h"

#include "data/destination.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/tablefiles.h"
#include "dialogs/keypreview.h"
#include "domain/icalendar.h"
#include "domain/options.h"
#include "domain/projection.h"
#include "platform/clock.h"
#include "platform/installpaths.h"
#include "platform/messages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <utility>

namespace {
QSettings store()
{
    return QSettings(
        QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName());
}

QString dataFolder()
{
    return QFileInfo(QDir::currentPath()).canonicalFilePath();
}
} // namespace

CalendarExportDialog::CalendarExportDialog(QWidget *parent)
    : QDialog(parent)
    , monthsBox(new QSpinBox)
    , fileEdit(new QLineEdit)
    , keepBox(new QCheckBox(QStringLiteral("Keep this file up to date")))
{
    setWindowTitle(QStringLiteral("Export to Calendar"));
    auto *intro = new QLabel(QStringLiteral(
        "Writes an iCalendar file with one all-day event for each time a scheduled item "
        "falls due from today on, with a reminder its warning days before; an overdue item "
        "shows once, today. Import it into your calendar (importing a newer export updates "
        "the events), or keep the file up to date and subscribe to it."));
    intro->setWordWrap(true);

    const CalendarExport::Choice last = CalendarExport::Choice::load();
    monthsBox->setObjectName(QStringLiteral("months"));
    monthsBox->setRange(1, 120);
    monthsBox->setValue(last.months);
    monthsBox->setSuffix(QStringLiteral(" months"));

    QString file = last.file;
    if (file.isEmpty())
        file = QDir(InstallPaths::documentsFolder()).filePath(QStringLiteral("duesmith.ics"));
    fileEdit->setObjectName(QStringLiteral("file"));
    fileEdit->setText(file);
    fileEdit->setMinimumWidth(320);
    auto *browseButton = new QPushButton(QStringLiteral("&Browse..."));
    connect(browseButton, &QPushButton::clicked, this, &CalendarExportDialog::browse);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(fileEdit, 1);
    fileRow->addWidget(browseButton);

    keepBox->setObjectName(QStringLiteral("keep"));
    keepBox->setChecked(last.live());
    keepBox->setToolTip(
        QStringLiteral("Rewrite the file after every change to the schedule while Duesmith runs"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Look ahead:"), monthsBox);
    auto *fileLabel = new QLabel(QStringLiteral("&File:"));
    fileLabel->setBuddy(fileEdit);
    form->addRow(fileLabel, fileRow);
    form->addRow(QString(), keepBox);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Export"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setFixedHeight(sizeHint().height());
    KeyPreview::bindHelpKey(this, QStringLiteral("export_calendar.hta"));
}

int CalendarExportDialog::months() const
{
    return monthsBox->value();
}

QString CalendarExportDialog::fileName() const
{
    QString name = fileEdit->text().trimmed();
    if (!name.isEmpty() && QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".ics");
    return name;
}

bool CalendarExportDialog::keepUpToDate() const
{
    return keepBox->isChecked();
}

void CalendarExportDialog::browse()
{
    const QString chosen = SaveFile::ask(this, QStringLiteral("Export to Calendar"),
        fileEdit->text(), QStringLiteral("iCalendar files (*.ics)"), QStringLiteral("ics"));
    if (!chosen.isEmpty())
        fileEdit->setText(chosen);
}

CalendarExport::Choice CalendarExport::Choice::load()
{
    QSettings s = store();
    s.beginGroup(QStringLiteral("CalendarExport"));
    Choice c;
    c.months = std::clamp(s.value(QStringLiteral("Months"), 12).toInt(), 1, 120);
    c.file = s.value(QStringLiteral("File")).toString();
    c.keep = s.value(QStringLiteral("KeepUpToDate"), false).toBool();
    c.folder = s.value(QStringLiteral("DataFolder")).toString();
    return c;
}

void CalendarExport::Choice::save() const
{
    QSettings s = store();
    s.beginGroup(QStringLiteral("CalendarExport"));
    s.setValue(QStringLiteral("Months"), months);
    s.setValue(QStringLiteral("File"), file);
    s.setValue(QStringLiteral("KeepUpToDate"), keep);
    s.setValue(QStringLiteral("DataFolder"), folder);
}

bool CalendarExport::Choice::live() const
{
    return keep && !file.isEmpty() && folder == dataFolder();
}

bool CalendarExport::write(
    const Choice &choice, qint64 *events, QString *error, const std::function<bool(double)> &goOn)
{
    std::vector<ScheduledItem> records;
    try {
        records = Projection::read(TableFiles::Schedule);
    } catch (const EngineError &e) {
        if (error)
            *error = e.message();
        return false;
    }
    return write(choice, std::move(records), OptionsStore::current(), Clock::current().now(),
        events, error, goOn);
}

bool CalendarExport::write(const Choice &choice, std::vector<ScheduledItem> records,
    const Options &options, const QDateTime &now, qint64 *events, QString *error,
    const std::function<bool(double)> &goOn)
{
    try {
        DestinationFile file(choice.file);
        Projection projection(std::move(records), now.date(), now.date().addMonths(choice.months));
        const qint64 written = ICalendar::write(file.device(), projection, options, now, goOn);
        if (written < 0) {
            if (error)
                error->clear();
            return false;
        }
        file.commit();
        if (events)
            *events = written;
    } catch (const EngineError &e) {
        if (error)
            *error = e.message();
        return false;
    } catch (const std::exception &e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

void CalendarExport::run(QWidget *parent)
{
    CalendarExportDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Choice choice;
    choice.months = dialog.months();
    choice.file = dialog.fileName();
    choice.keep = dialog.keepUpToDate();
    choice.folder = dataFolder();
    if (choice.file.isEmpty()) {
        Messages::current().warn(QStringLiteral("Choose the file to write the calendar to."));
        return;
    }
    if (const QString why = Destination::refusal(choice.file); !why.isEmpty()) {
        Messages::current().error(why);
        return;
    }
    qint64 events = 0;
    QString error;
    QProgressDialog progress(
        QStringLiteral("Writing the calendar..."), QStringLiteral("Cancel"), 0, 100, parent);
    progress.setWindowTitle(QStringLiteral("Export to Calendar"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const bool saved = write(choice, &events, &error, [&progress](double done) {
        progress.setValue(int(done * 100));
        return !progress.wasCanceled();
    });
    const bool cancelled = progress.wasCanceled();
    progress.hide();
    if (cancelled)
        return;
    const QString shown = QDir::toNativeSeparators(choice.file);
    if (!saved) {
        Messages::current().error(
            QStringLiteral("The calendar could not be written to %1: %2").arg(shown, error));
        return;
    }
    choice.save();
    QString text = QStringLiteral("%1 events written to %2.").arg(events).arg(shown);
    if (choice.keep)
        text += QStringLiteral(" Duesmith keeps the file up to date while it runs.");
    Messages::current().inform(text);
}

struct LiveCalendar::Run
{
    std::atomic<bool> stop = false;
    bool written = false;
    QString file;
    QString error;
};

LiveCalendar::LiveCalendar(QObject *parent)
    : QObject(parent)
    , m_delay(new QTimer(this))
    , m_watcher(new QFileSystemWatcher(this))
{
    m_delay->setSingleShot(true);
    m_delay->setInterval(1000);
    connect(m_delay, &QTimer::timeout, this, &LiveCalendar::rewrite);
    // Every change of the schedule, from the list, a payment run or a
    // restore, ends in a write to its file; watching the file sees them all.
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        watch();
        schedule();
    });
    connect(&OptionsStore::instance(), &OptionsStore::changed, this, &LiveCalendar::schedule);
    watch();
    // The file may hold yesterday's view of the schedule.
    schedule();
}

// A rewrite still going is stopped; what it wrote so far is not kept.
LiveCalendar::~LiveCalendar()
{
    if (!m_thread)
        return;
    m_run->stop = true;
    m_thread->disconnect(this);
    m_thread->wait();
    delete m_thread;
}

void LiveCalendar::watch()
{
    const QString path = Engine::resolve(TableFiles::Schedule);
    if (QFileInfo::exists(path) && !m_watcher->files().contains(path))
        m_watcher->addPath(path);
}

void LiveCalendar::schedule()
{
    if (CalendarExport::Choice::load().live())
        m_delay->start();
}

void LiveCalendar::rewrite()
{
    const CalendarExport::Choice choice = CalendarExport::Choice::load();
    if (!choice.live())
        return;
    if (Engine::instance().inTransaction()) {
        m_delay->start();
        return;
    }
    if (m_thread) {
        // What it writes is already out of date.
        m_run->stop = true;
        m_again = true;
        return;
    }
    start(choice);
}

// The worker reads the records through a connection of its own: a large
// schedule holds up neither the window nor, for long, the table's writers.
void LiveCalendar::start(const CalendarExport::Choice &choice)
{
    auto run = std::make_shared<Run>();
    run->file = choice.file;
    m_run = run;
    m_thread
        = QThread::create([run, choice, schedule = Engine::resolve(TableFiles::Schedule),
                              options = OptionsStore::current(), now = Clock::current().now()] {
              try {
                  run->written = CalendarExport::write(choice, Projection::snapshot(schedule),
                      options, now, nullptr, &run->error, [&run](double) { return !run->stop; });
              } catch (const EngineError &e) {
                  run->error = e.message();
              } catch (const std::exception &e) {
                  run->error = QString::fromLocal8Bit(e.what());
              }
          });
    connect(m_thread, &QThread::finished, this, [this, run] {
        m_thread->deleteLater();
        m_thread = nullptr;
        m_run.reset();
        if (!run->stop)
            finished(*run);
        if (std::exchange(m_again, false))
            rewrite();
    });
    m_thread->start();
}

void LiveCalendar::finished(const Run &run)
{
    if (run.written) {
        m_failing = false;
        return;
    }
    if (m_failing)
        return;
    m_failing = true;
    Messages::current().warn(QStringLiteral("The calendar file %1 could not be kept up to date: %2")
                                 .arg(QDir::toNativeSeparators(run.file), run.error));
}
