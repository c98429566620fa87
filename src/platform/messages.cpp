#include "messages.h"

#include "busypointer.h"

#include <QApplication>
#include <QMessageBox>

namespace {
BoxMessages realMessages;
Messages *installed = nullptr;

QWidget *owner()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString &title, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    // A modal message always shows the arrow, whatever the work around it set.
    NormalPointerWhile arrow;
    QMessageBox box(icon, title, text, buttons, owner());
    box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}
} // namespace

Messages &Messages::current()
{
    return installed ? *installed : realMessages;
}

void Messages::install(Messages *messages)
{
    installed = messages;
}

void BoxMessages::inform(const QString &text)
{
    ask(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok,
        QMessageBox::Ok);
}

void BoxMessages::announce(const QString &text)
{
    ask(QMessageBox::Information, QStringLiteral("Duesmith"), text, QMessageBox::Ok,
        QMessageBox::Ok);
}

void BoxMessages::warn(const QString &text)
{
    ask(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, QMessageBox::Ok);
}

void BoxMessages::error(const QString &text)
{
    ask(QMessageBox::Critical, QStringLiteral("Duesmith"), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool BoxMessages::confirmYesNo(const QString &text)
{
    return ask(QMessageBox::Question, QStringLiteral("Confirm"), text,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

bool BoxMessages::confirmOkCancel(const QString &text)
{
    return ask(QMessageBox::Question, QStringLiteral("Confirm"), text,
               QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}
