#include "projectionjob.h"

#include <QThread>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <utility>

struct ProjectionJob::State
{
    std::atomic<bool> cancelled = false;
    std::atomic<int> percent = 0;
    ProjectionTable out;
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
}

void ProjectionJob::start(std::vector<ScheduledItem> items, const QDate &today, const QDate &from,
    const QDate &until, ProjectionTable::Use use)
{
    stop();
    m_result = ProjectionTable();
    auto state = std::make_shared<State>();
    m_state = state;
    m_thread
        = QThread::create([state, items = std::move(items), today, from, until, use]() mutable {
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
