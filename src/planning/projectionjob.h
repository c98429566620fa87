#pragma once

#include "domain/projectiontable.h"

#include <QDate>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QThread;
class QTimer;

// Projects the schedule on a worker thread, so that a long span with many
// repeating items leaves the window free. The schedule is given, or read on
// the worker; only the occurrences from `from` on are kept, eight bytes each. Starting again,
// cancelling, or destroying the job drops a run still going.
class ProjectionJob : public QObject
{
    Q_OBJECT
public:
    explicit ProjectionJob(QObject *parent = nullptr);
    ~ProjectionJob() override;

    // An invalid `from` keeps every occurrence the use takes.
    void start(std::vector<ScheduledItem> items, const QDate &today, const QDate &from,
        const QDate &until, ProjectionTable::Use use);
    // The same reading the schedule file on the worker, through a connection
    // of its own (Projection::snapshot): the window waits for no read.
    void start(const QString &scheduleFile, const QDate &today, const QDate &from,
        const QDate &until, ProjectionTable::Use use);
    // Drops the run going, if any, and the last result.
    void cancel();
    bool running() const { return m_state != nullptr; }
    // The occurrences of the last finished run, in due-date order; the
    // caller may take them.
    ProjectionTable &result() { return m_result; }
    // Why the last run read no schedule; empty when it did.
    const QString &error() const { return m_error; }

    // Returns the memory a dropped projection held to the system; the
    // allocator would otherwise keep it for the process.
    static void giveBackMemory();

Q_SIGNALS:
    void progressed(int percent);
    void finished();

private:
    struct State;
    void stop();
    void run(std::function<std::vector<ScheduledItem>()> read, const QDate &today,
        const QDate &from, const QDate &until, ProjectionTable::Use use);

    std::shared_ptr<State> m_state;
    QThread *m_thread = nullptr;
    QTimer *m_poll;
    ProjectionTable m_result;
    QString m_error;
};
