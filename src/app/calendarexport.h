#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

// Tools › Export to Calendar: how far ahead, and the file to write.
class CalendarExportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CalendarExportDialog(QWidget *parent = nullptr);

    int months() const;
    // The chosen file, with ".ics" added when it has no suffix.
    QString fileName() const;

    QSpinBox *monthsBox;
    QLineEdit *fileEdit;

private:
    void browse();
};

namespace CalendarExport {
// Asks for the span and the file, then writes every occurrence of the
// scheduled items from today to the end of the span as calendar events.
void run(QWidget *parent);
} // namespace CalendarExport
