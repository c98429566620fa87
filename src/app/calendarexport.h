#pragma once

#include <QDialog>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct Options;
class QCheckBox;
class QThread;
struct ScheduledItem;
class QFileSystemWatcher;
class QLineEdit;
class QSpinBox;
class QTimer;

// Tools › Export to Calendar: how far ahead, the file to write, and whether
// the program keeps that file up to date.
class CalendarExportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CalendarExportDialog(QWidget *parent = nullptr);

    int months() const;
    // The chosen file, with ".ics" added when it has no suffix.
    QString fileName() const;
    bool keepUpToDate() const;

    QSpinBox *monthsBox;
    QLineEdit *fileEdit;
    QCheckBox *keepBox;

private:
    void browse();
};

namespace CalendarExport {
// The last export's choices, kept in the settings. The file is kept up to
// date only for the data folder it was exported from.
struct Choice
{
    int months = 12;
    QString file;
    bool keep = false;
    QString folder;

    static Choice load();
    void save() const;
    // Whether the program keeps the file up to date for the current data folder.
    bool live() const;
};

// Asks for the span and the file, then writes every occurrence of the
// scheduled items from today to the end of the span as calendar events.
void run(QWidget *parent);

// Writes the calendar of the current schedule for a choice, streamed to the
// file; false with the reason otherwise (a table that cannot be read, a file
// that cannot be written). goOn is asked now and then with the progress (0 to
// 1); when it says no, false is returned with no reason and no file is left.
bool write(const Choice &choice, qint64 *events, QString *error,
    const std::function<bool(double)> &goOn = {});
// The same from records already read, as of `now`; touches nothing of the
// program's tables, so it may run on a worker thread.
bool write(const Choice &choice, std::vector<ScheduledItem> records, const Options &options,
    const QDateTime &now, qint64 *events, QString *error,
    const std::function<bool(double)> &goOn = {});
} // namespace CalendarExport

// Rewrites the kept-up-to-date calendar file a moment after the schedule
// changes (a burst of posts gives one rewrite), when the options change, and
// when asked (a new day moves what is ahead). The records are read and the
// events written on a worker, so a large schedule never holds up the window.
// A rewrite asked for while one runs stops that one (its file is not kept)
// and follows it.
class LiveCalendar : public QObject
{
    Q_OBJECT
public:
    explicit LiveCalendar(QObject *parent = nullptr);
    ~LiveCalendar() override;

    // A rewrite soon, when the file is kept up to date.
    void schedule();
    void rewrite();
    bool writing() const { return m_thread != nullptr; }

private:
    struct Run;
    void watch();
    void start(const CalendarExport::Choice &choice);
    void finished(const Run &run);

    QTimer *m_delay;
    QFileSystemWatcher *m_watcher;
    QThread *m_thread = nullptr;
    std::shared_ptr<Run> m_run;
    bool m_again = false; // a newer rewrite waits for the one being stopped
    bool m_failing = false; // a failure is told once, not at every change
};
