#include "dialogsupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QList>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace {
QList<QPointer<QWidget>> &ownedWindows()
{
    static QList<QPointer<QWidget>> windows;
    return windows;
}

void deleteOwnedWindows()
{
    // Runs first thing in the application object's destructor, while widgets
    // may still be deleted safely.
    for (const QPointer<QWidget> &window : std::as_const(ownedWindows()))
        delete window.data();
    ownedWindows().clear();
}
} // namespace

void DialogSupport::centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2,
        area.y() + (area.height() - size.height()) / 2);
}

void DialogSupport::deleteAtExit(QWidget *window)
{
    if (ownedWindows().isEmpty())
        qAddPostRoutine(deleteOwnedWindows);
    ownedWindows().append(window);
}
