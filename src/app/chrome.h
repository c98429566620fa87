#pragma once

#include <QIcon>
#include <QString>

#include <functional>

class QLabel;
class QMenuBar;
class QToolBar;
class QWidget;

// The look shared by the program's windows: title strips, toolbar glyphs, the
// toolbar itself and the Help menu.
namespace Chrome {
enum class Glyph {
    New,
    Copy,
    Delete,
    PayBills,
    Payees,
    Calculator,
    Reports,
    History,
    Backup,
    Export,
    Options,
    Back,
    Next,
    Continue
};

// A strip with centred bold text on a dark band.
QLabel *titleStrip(const QString &text, QWidget *parent = nullptr);
QIcon glyph(Glyph kind);
// A toolbar of captioned picture buttons, 47 pixels high.
QToolBar *toolBar(QWidget *parent);

// "&Help": "&Contents", "&Help on This Screen" (F1), an optional "Tool Ti&p",
// the two web entries and "&About...".
void addHelpMenu(
    QMenuBar *bar, QWidget *owner, const QString &screenPage, const std::function<void()> &toolTip);
} // namespace Chrome
