#include "savefile.h"

#include "data/destination.h"
#include "platform/busypointer.h"
#include "platform/messages.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

bool SaveFile::confirm(const QString &path)
{
    const QString why = Destination::refusal(path);
    if (!why.isEmpty()) {
        Messages::current().error(why);
        return false;
    }
    const QFileInfo info(path);
    return !info.exists() || info.isDir()
        || Messages::current().confirmYesNo(
            QStringLiteral("File %1 already exists. Do you want to replace it?")
                .arg(QDir::toNativeSeparators(path)));
}

QString SaveFile::ask(QWidget *parent, const QString &caption, const QString &suggested,
    const QString &filter, const QString &defaultSuffix)
{
    QFileDialog dialog(parent, caption, QFileInfo(suggested).absolutePath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(QFileInfo(suggested).fileName());
    NormalPointerWhile normal;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    return confirm(path) ? path : QString();
}
