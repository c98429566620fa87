#include "projectionjob.h"

#include <QThread>
#include <QTimer>

#include <atomic>
#include <utility>

struct ProjectionJob::State
{
    std::atomic<bool> cancelled = false;
    std::atomic<int> percent = 0;
    std::vector<Occurrence> out;
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

void ProjectionJob::start(
    std::vector<ScheduledItem> items, const QDate &today, const QDate &from, const QDate &until)
{
    stop();
    auto state = std::make_shared<State>();
    m_state = state;
    m_thread = QThread::create([state, items = std::move(items), today, from, until]() mutable {
        Projection projection(std::move(items), today, until);
        Occurrence o;
        int step = 0;
        while (projection.next(o)) {
            if (!from.isValid() || o.dueDate() >= from)
                state->out.push_back(std::move(o));
            if (++step % 4096 == 0) {
                if (state->cancelled)
                    return;
                state->percent = int(projection.progress() * 100);
            }
        }
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
