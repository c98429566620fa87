#pragma once

#include <QString>
#include <QUrl>

class QKeyEvent;
class QWidget;

// What the system shell does for us: help pages, web pages, the beep.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // Shows a help page (an HTML file) in the program's own viewer.
    virtual void openHelpFile(const QString &path);
    virtual void openUrl(const QUrl &url);
    virtual void beep();

    static Desktop &current();
    static void install(Desktop *desktop);
};

namespace Help {
// The folder of the program's shipped files (beside the program, or its
// installed share folder), whatever the working directory.
QString programFolder();
// Full path of a help page: the program's folder, "/ds_help/" and the page.
QString pagePath(const QString &page);
// Opens a page of ds_help with the busy pointer shown meanwhile.
void open(const QString &page);
void openWeb(const QUrl &url);
// F1 alone, or with two or more of Shift, Ctrl and Alt, asks for help;
// F1 with exactly one of them does not.
bool isHelpKey(const QKeyEvent *event);

// Web pages of the Help menus.
QUrl homePage();
QUrl makerPage();
QString makerEntryCaption();
} // namespace Help
