#include "slowwork.h"

#include "platform/busypointer.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

namespace {
constexpr qint64 ShowAfterMs = 500;
constexpr qint64 EventsEveryMs = 50;
constexpr int Steps = 1000;
} // namespace

SlowWork::SlowWork(QWidget *parent, const QString &label)
    : m_parent(parent)
    , m_label(label)
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

ReportEngine::Progress SlowWork::progress()
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
        m_dialog->setWindowTitle(QStringLiteral("Preparing Report"));
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
    if (m_lastEvents.elapsed() >= EventsEveryMs) {
        QCoreApplication::processEvents();
        m_lastEvents.restart();
    }
    m_cancelled = m_dialog->wasCanceled();
    return !m_cancelled;
}
