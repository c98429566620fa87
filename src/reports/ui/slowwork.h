#pragma once

#include "reports/engine/pagestore.h"

#include <QElapsedTimer>
#include <QString>

class QProgressDialog;
class QWidget;

// Progress for work that is usually quick: a progress dialog with Cancel
// comes up only once the work has taken longer than half a second.
class SlowWork
{
public:
    SlowWork(QWidget *parent, const QString &label);
    ~SlowWork();
    SlowWork(const SlowWork &) = delete;
    SlowWork &operator=(const SlowWork &) = delete;

    // For the engine; returns false once the user has cancelled.
    ReportEngine::Progress progress();
    bool cancelled() const { return m_cancelled; }

private:
    bool step(qint64 done, qint64 total);

    QWidget *m_parent;
    QString m_label;
    QElapsedTimer m_started;
    QElapsedTimer m_lastEvents;
    QProgressDialog *m_dialog = nullptr; // owned
    bool m_cancelled = false;
    bool m_wasBusy = false;
};
