#include "busypointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
bool busyNow = false;
}

void BusyPointer::set(bool busy)
{
    if (busy == busyNow)
        return;
    busyNow = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

bool BusyPointer::isBusy()
{
    return busyNow;
}

NormalPointerWhile::NormalPointerWhile()
    : m_wasBusy(BusyPointer::isBusy())
{
    BusyPointer::set(false);
}

NormalPointerWhile::~NormalPointerWhile()
{
    BusyPointer::set(m_wasBusy);
}
