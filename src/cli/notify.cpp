#include "notify.h"

#include "commandline.h"
#include "duereport.h"

#include "domain/duelist.h"
#include "notify/desktopnotifier.h"
#include "notify/duenotice.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

int DueNotify::run(const QDateTime &now, QTextStream &out, QTextStream &err, int wait)
{
    const std::optional<QList<DueItem>> due = DueReport::read(now, std::nullopt, err);
    if (!due)
        return ExitCode::BadInput;
    const QList<DueItem> &items = *due;
    if (items.isEmpty())
        return ExitCode::Ok;

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        err << QStringLiteral("duesmith: no session bus to send the notification on (%1)\n")
                   .arg(bus.lastError().message().simplified());
        return ExitCode::BadInput;
    }
    DesktopNotifier notifier(bus);
    QEventLoop loop;
    int code = ExitCode::Ok;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, [&] {
        // An action nobody answers any more must not stay on screen.
        notifier.close().waitForFinished();
        loop.quit();
    });
    QObject::connect(&notifier, &DesktopNotifier::failed, &loop, [&](const QString &why) {
        err << QStringLiteral("duesmith: %1\n").arg(why.simplified());
        code = ExitCode::BadInput;
        loop.quit();
    });
    QObject::connect(&notifier, &DesktopNotifier::sent, &loop, [&] {
        if (notifier.offersActions())
            giveUp.start(wait);
        else
            loop.quit();
    });
    QObject::connect(&notifier, &DesktopNotifier::closed, &loop, &QEventLoop::quit);
    QObject::connect(&notifier, &DesktopNotifier::openChosen, &loop, [&] {
        qint64 pid = 0;
        const QString dir = QDir::currentPath();
        if (QProcess::startDetached(QCoreApplication::applicationFilePath(),
                { QStringLiteral("--data-dir"), dir }, dir, &pid))
            out << QStringLiteral("duesmith: opened the window on %1 (process %2)\n")
                       .arg(QDir::toNativeSeparators(dir))
                       .arg(pid);
        else {
            err << QStringLiteral("duesmith: the window could not be started\n");
            code = ExitCode::BadInput;
        }
        notifier.close().waitForFinished(); // answered: it leaves the screen
        loop.quit();
    });
    // The service ending (the session closing) ends the wait too.
    QDBusServiceWatcher gone(
        QLatin1String(DesktopNotifier::service), bus, QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&gone, &QDBusServiceWatcher::serviceUnregistered, &loop, &QEventLoop::quit);

    notifier.send(DueNotice::of(items));
    loop.exec();
    out.flush();
    return code;
}
