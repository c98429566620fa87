#pragma once

#include <QElapsedTimer>
#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

// Progress for work that is usually quick: a progress dialog with Cancel
// comes up only once the work has taken longer than half a second.
class SlowWork
{
public:
    // Told how far the work is; false once the user has cancelled.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    SlowWork(QWidget *parent, const QString &label,
        const QString &title = QStringLiteral("Preparing Report"));
    ~SlowWork();
    SlowWork(const SlowWork &) = delete;
    SlowWork &operator=(const SlowWork &) = delete;

    // For the engine; returns false once the user has cancelled.
    Progress progress();
    bool cancelled() const { return m_cancelled; }

    // Runs `work` on a thread of its own while the window goes on answering,
    // with the same dialog. False when the user cancelled (the work is told
    // through its progress and waited for); rethrows what the work threw.
    static bool aside(QWidget *parent, const QString &label, const QString &title,
        const std::function<void(const Progress &progress)> &work);

private:
    bool step(qint64 done, qint64 total);

    QWidget *m_parent;
    QString m_label;
    QString m_title;
    bool m_pumpEvents = true; // false when an event loop runs anyway
    QElapsedTimer m_started;
    QElapsedTimer m_lastEvents;
    QProgressDialog *m_dialog = nullptr; // owned
    bool m_cancelled = false;
    bool m_wasBusy = false;
};
