#include "slowwork.h"

#include "platform/busypointer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace {
constexpr qint64 ShowAfterMs = 500;
constexpr qint64 EventsEveryMs = 50;
constexpr int Steps = 1000;
} // namespace

SlowWork::SlowWork(QWidget *parent, const QString &label, const QString &title)
    : m_parent(parent)
    , m_label(label)
    , m_title(title)
{
    m_started.start();
    m_lastEvents.start();
}

SlowWork::~SlowWork()
{
    if (m_dialog) {
        delete m_dialog;
        BusyPointer::set(m_wasBusy);
    }
}

SlowWork::Progress SlowWork::progress()
{
    return [this](qint64 done, qint64 total) { return step(done, total); };
}

bool SlowWork::step(qint64 done, qint64 total)
{
    if (m_cancelled)
        return false;
    if (!m_dialog) {
        if (m_started.elapsed() < ShowAfterMs)
            return true;
        m_dialog = new QProgressDialog(m_label, QStringLiteral("Cancel"), 0, 0, m_parent);
        m_dialog->setObjectName(QStringLiteral("ProgressDialog"));
        m_dialog->setWindowTitle(m_title);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        // The arrow over the Cancel button while the dialog is up.
        m_wasBusy = BusyPointer::isBusy();
        BusyPointer::set(false);
        m_dialog->show();
    }
    if (total > 0) {
        m_dialog->setMaximum(Steps);
        m_dialog->setValue(static_cast<int>(std::min(done, total) * Steps / total));
    } else if (m_dialog->maximum() != 0) {
        m_dialog->setRange(0, 0);
    }
    if (m_pumpEvents && m_lastEvents.elapsed() >= EventsEveryMs) {
        QCoreApplication::processEvents();
        m_lastEvents.restart();
    }
    m_cancelled = m_dialog->wasCanceled();
    return !m_cancelled;
}

bool SlowWork::aside(QWidget *parent, const QString &label, const QString &title,
    const std::function<void(const Progress &progress)> &work)
{
    std::atomic<qint64> done = 0, total = 0;
    std::atomic<bool> cancel = false, finished = false;
    std::exception_ptr failure;
    QEventLoop loop;
    std::thread thread([&] {
        try {
            work([&](qint64 d, qint64 t) {
                done = d;
                total = t;
                return !cancel;
            });
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    {
        SlowWork slow(parent, label, title);
        slow.m_pumpEvents = false;
        QTimer poll;
        poll.setInterval(EventsEveryMs);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!cancel && !slow.step(done, total))
                cancel = true;
        });
        poll.start();
        if (!finished)
            loop.exec();
    }
    thread.join();
    if (failure)
        std::rethrow_exception(failure);
    return !cancel;
}
