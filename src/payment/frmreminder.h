#pragma once

#include <QDialog>

class ItemGrid;
class QCheckBox;
class QKeyEvent;
class QPushButton;
class Table;

// Lists the items that are due or within their warning days, once at start.
// The list lives in the work table only while the window is open; the check
// box is a view of the main window's reminder switch.
class TfrmReminder : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmReminder(QWidget *parent = nullptr);

    void done(int result) override;

    Table *Tableresched;
    ItemGrid *DBGridReminder;
    QCheckBox *CheckBoxDisplay;
    QPushButton *ButtonContinue;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void FormClose();
    bool previewKey(QKeyEvent *event);
};
