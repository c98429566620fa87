#include "projectionjob.h"

#include "data/engine.h"
#include "data/engineerror.h"

#include <QThread>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <exception>
#include <utility>

struct ProjectionJob::State
{
    std::atomic<bool> cancelled = false;
    std::atomic<int> percent = 0;
    ProjectionTable out;
    QString error;
};

ProjectionJob::ProjectionJob(QObject *parent)
    : QObject(parent)
    , m_poll(new QTimer(this))
{
    m_poll->setInterval(100);
    connect(m_poll, &QTimer::timeout, this, [this] {
        if (m_state)
            Q_EMIT progressed(m_state->percent);
    });
}

ProjectionJob::~ProjectionJob()
{
    stop();
}

void ProjectionJob::stop()
{
    if (!m_thread)
        return;
    m_poll->stop();
    m_state->cancelled = true;
    m_thread->disconnect(this);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_state.reset();
}

void ProjectionJob::cancel()
{
    stop();
    m_result = ProjectionTable();
    m_error.clear();
}

void ProjectionJob::start(std::vector<ScheduledItem> items, const QDate &today, const QDate &from,
    const QDate &until, ProjectionTable::Use use)
{
    auto given = std::make_shared<std::vector<ScheduledItem>>(std::move(items));
    run([given] { return std::move(*given); }, today, from, until, use);
}

void ProjectionJob::start(const QString &scheduleFile, const QDate &today, const QDate &from,
    const QDate &until, ProjectionTable::Use use)
{
    // Resolved here: the data folder is the window's to change.
    run([path = Engine::resolve(scheduleFile)] { return Projection::snapshot(path); }, today, from,
        until, use);
}

void ProjectionJob::run(std::function<std::vector<ScheduledItem>()> read, const QDate &today,
    const QDate &from, const QDate &until, ProjectionTable::Use use)
{
    stop();
    m_result = ProjectionTable();
    m_error.clear();
    auto state = std::make_shared<State>();
    m_state = state;
    m_thread = QThread::create([state, read = std::move(read), today, from, until, use] {
        std::vector<ScheduledItem> items;
        try {
            items = read();
        } catch (const EngineError &e) {
            state->error = e.message();
        } catch (const std::exception &e) {
            state->error = QString::fromLocal8Bit(e.what());
        }
        state->out = ProjectionTable(items);
        Projection projection(std::move(items), today, until, false);
        state->out.fill(projection, from, use, [&state](double progress) {
            state->percent = int(progress * 100);
            return !state->cancelled;
        });
        state->percent = 100;
    });
    connect(m_thread, &QThread::finished, this, [this, state] {
        if (state != m_state)
            return;
        m_poll->stop();
        m_thread->deleteLater();
        m_thread = nullptr;
        m_result = std::move(state->out);
        m_error = state->error;
        m_state.reset();
        Q_EMIT progressed(100);
        Q_EMIT finished();
    });
    m_poll->start();
    m_thread->start();
}

void ProjectionJob::giveBackMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
