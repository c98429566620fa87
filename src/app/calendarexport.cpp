#include "calendarexport.h"

#include "data/tablefiles.h"
#include "dialogs/keypreview.h"
#include "domain/icalendar.h"
#include "domain/options.h"
#include "domain/projection.h"
#include "platform/busypointer.h"
#include "platform/clock.h"
#include "platform/installpaths.h"
#include "platform/messages.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

CalendarExportDialog::CalendarExportDialog(QWidget *parent)
    : QDialog(parent)
    , monthsBox(new QSpinBox)
    , fileEdit(new QLineEdit)
{
    setWindowTitle(QStringLiteral("Export to Calendar"));
    auto *intro = new QLabel(QStringLiteral(
        "Writes an iCalendar file with one all-day event for each time a scheduled item "
        "falls due, with a reminder its warning days before. Import it into your calendar; "
        "importing a newer export updates the events."));
    intro->setWordWrap(true);

    monthsBox->setObjectName(QStringLiteral("months"));
    monthsBox->setRange(1, 120);
    monthsBox->setValue(12);
    monthsBox->setSuffix(QStringLiteral(" months"));

    const QString folder = InstallPaths::documentsFolder();
    fileEdit->setObjectName(QStringLiteral("file"));
    fileEdit->setText(QDir(folder).filePath(QStringLiteral("duesmith.ics")));
    fileEdit->setMinimumWidth(320);
    auto *browseButton = new QPushButton(QStringLiteral("&Browse..."));
    connect(browseButton, &QPushButton::clicked, this, &CalendarExportDialog::browse);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(fileEdit, 1);
    fileRow->addWidget(browseButton);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Look ahead:"), monthsBox);
    auto *fileLabel = new QLabel(QStringLiteral("&File:"));
    fileLabel->setBuddy(fileEdit);
    form->addRow(fileLabel, fileRow);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Export"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setFixedHeight(sizeHint().height());
    KeyPreview::bindHelpKey(this, QStringLiteral("export_calendar.hta"));
}

int CalendarExportDialog::months() const
{
    return monthsBox->value();
}

QString CalendarExportDialog::fileName() const
{
    QString name = fileEdit->text().trimmed();
    if (!name.isEmpty() && QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".ics");
    return name;
}

void CalendarExportDialog::browse()
{
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Export to Calendar"),
        fileEdit->text(), QStringLiteral("iCalendar files (*.ics)"));
    if (!chosen.isEmpty())
        fileEdit->setText(chosen);
}

void CalendarExport::run(QWidget *parent)
{
    CalendarExportDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = dialog.fileName();
    if (path.isEmpty()) {
        Messages::current().warn(QStringLiteral("Choose the file to write the calendar to."));
        return;
    }
    const QDate today = Clock::current().today();
    QByteArray data;
    std::size_t events = 0;
    BusyPointer::set(true);
    try {
        const std::vector<Occurrence> occurrences = Projection::all(
            Projection::read(TableFiles::Schedule), today, today.addMonths(dialog.months()));
        events = occurrences.size();
        data = ICalendar::calendar(occurrences, OptionsStore::current(), Clock::current().now());
    } catch (...) {
        BusyPointer::set(false);
        throw;
    }
    QString error;
    const bool saved = ICalendar::save(path, data, &error);
    BusyPointer::set(false);
    const QString shown = QDir::toNativeSeparators(path);
    if (!saved) {
        Messages::current().error(
            QStringLiteral("The calendar could not be written to %1: %2").arg(shown, error));
        return;
    }
    Messages::current().inform(
        QStringLiteral("%1 events written to %2.").arg(qulonglong(events)).arg(shown));
}
