#pragma once

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QStringList>

struct DueNotice;

// Shows a notice through the desktop's notification service on a bus
// (org.freedesktop.Notifications), with the action "Open Duesmith". Every
// call is asynchronous, so a window sending a notice never waits on the bus.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr);

    // Sends the notice, replacing the one this notifier sent before; the
    // outcome comes as sent() or failed().
    void send(const DueNotice &notice);
    // Takes the notice off the screen; a program about to end waits for the
    // returned call, lest the request be lost.
    QDBusPendingCall close();
    // Whether the service shows actions, known once sent() came.
    bool offersActions() const { return m_capabilities.contains(QStringLiteral("actions")); }

    static constexpr const char *service = "org.freedesktop.Notifications";

Q_SIGNALS:
    void sent(uint id);
    void failed(const QString &why);
    // The user chose "Open Duesmith" (or clicked the notice).
    void openChosen();
    // The notice is gone: expired, dismissed or closed.
    void closed();

private Q_SLOTS:
    // Signals of the service; the bus connects them by name.
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    void notify(const DueNotice &notice);

    QDBusConnection m_bus;
    QStringList m_capabilities;
    uint m_id = 0;
};
