#include "desktop.h"

#include "busypointer.h"
#include "helpviewer.h"
#include "installpaths.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>

namespace {
Desktop realDesktop;
Desktop *installed = nullptr;
} // namespace

void Desktop::openHelpFile(const QString &path)
{
    HelpViewer::showPage(path);
}

void Desktop::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

void Desktop::beep()
{
    QApplication::beep();
}

Desktop &Desktop::current()
{
    return installed ? *installed : realDesktop;
}

void Desktop::install(Desktop *desktop)
{
    installed = desktop;
}

QString Help::programFolder()
{
    return InstallPaths::resourceFolder();
}

QString Help::pagePath(const QString &page)
{
    return programFolder() + QStringLiteral("/ds_help/") + page;
}

void Help::open(const QString &page)
{
    BusyPointer::set(true);
    Desktop::current().openHelpFile(pagePath(page));
    BusyPointer::set(false);
}

void Help::openWeb(const QUrl &url)
{
    BusyPointer::set(true);
    // Our own pages open in the help viewer: they need no browser and no network.
    if (url.isLocalFile())
        Desktop::current().openHelpFile(url.toLocalFile());
    else
        Desktop::current().openUrl(url);
    BusyPointer::set(false);
}

bool Help::isHelpKey(const QKeyEvent *event)
{
    if (event->key() != Qt::Key_F1)
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int held = int(bool(mods & Qt::ShiftModifier)) + int(bool(mods & Qt::ControlModifier))
        + int(bool(mods & Qt::AltModifier));
    return held != 1;
}

QUrl Help::homePage()
{
    return QUrl::fromLocalFile(pagePath(QStringLiteral("index.hta")));
}

QUrl Help::makerPage()
{
    return QUrl::fromLocalFile(pagePath(QStringLiteral("duesmith_team.hta")));
}

QString Help::makerEntryCaption()
{
    return QStringLiteral("Duesmith &Team Home Page...");
}
