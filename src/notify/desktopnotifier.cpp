#include "desktopnotifier.h"

#include "duenotice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString openAction = QStringLiteral("open");

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(
        QLatin1String(DesktopNotifier::service), path, interface, method);
}
} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    // QtDBus connects bus signals only by slot name.
    m_bus.connect(QLatin1String(service), path, interface, QStringLiteral("ActionInvoked"), this,
        SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(QLatin1String(service), path, interface, QStringLiteral("NotificationClosed"),
        this, SLOT(onNotificationClosed(uint, uint)));
}

void DesktopNotifier::send(const DueNotice &notice)
{
    // The capabilities say whether the body may hold markup and whether
    // actions are shown; asking also starts a service that waits to be started.
    auto *watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, watcher, notice](QDBusPendingCallWatcher *) {
            watcher->deleteLater();
            const QDBusPendingReply<QStringList> reply = *watcher;
            if (reply.isError()) {
                Q_EMIT failed(QStringLiteral("no desktop notification service (%1)")
                                  .arg(reply.error().message()));
                return;
            }
            m_capabilities = reply.value();
            notify(notice);
        });
}

void DesktopNotifier::notify(const DueNotice &notice)
{
    QString body = notice.lines.join(QLatin1Char('\n'));
    // Payees are the user's text: a server that reads markup must not take
    // "<" or "&" in them for tags.
    if (m_capabilities.contains(QStringLiteral("body-markup")))
        body = body.toHtmlEscaped();
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(notice.overdue ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.example.duesmith"));
    QStringList actions;
    if (offersActions())
        actions = { QStringLiteral("default"), QStringLiteral("Open Duesmith"), openAction,
            QStringLiteral("Open Duesmith") };
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Duesmith") << m_id << QStringLiteral("org.example.duesmith")
            << notice.summary << body << actions << hints << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, watcher](QDBusPendingCallWatcher *) {
            watcher->deleteLater();
            const QDBusPendingReply<uint> reply = *watcher;
            if (reply.isError()) {
                Q_EMIT failed(QStringLiteral("the desktop notification service refused the "
                                             "notification (%1)")
                                  .arg(reply.error().message()));
                return;
            }
            m_id = reply.value();
            Q_EMIT sent(m_id);
        });
}

QDBusPendingCall DesktopNotifier::close()
{
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << m_id;
    return m_id == 0 ? QDBusPendingCall::fromCompletedCall(QDBusMessage())
                     : m_bus.asyncCall(message);
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action)
{
    if (id == m_id && m_id != 0 && (action == openAction || action == QLatin1String("default")))
        Q_EMIT openChosen();
}

void DesktopNotifier::onNotificationClosed(uint id, uint reason)
{
    Q_UNUSED(reason)
    if (id == m_id && m_id != 0)
        Q_EMIT closed();
}
