#pragma once

#include <QDialog>

class FormStorage;
class ItemGrid;
class QCheckBox;
class QLabel;
class Table;

// The reschedule screen: the next occurrences of a payment run, reviewed and
// edited, then written back into the schedule however the window is closed.
class TFrmresched : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmresched(QWidget *parent = nullptr);

    Table *Tableresched;
    Table *TableSched;
    Table *TablePayee;
    ItemGrid *DBGridsched;
    QCheckBox *CheckBoxToolTip;
    QLabel *LabelSort;

    int exec() override;
    void done(int result) override;
    void ToolTipClick();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void updateStatus();
    // Writes the occurrences back; false (window stays open) when that failed.
    bool writeBack();

    QLabel *m_recordLabel;
    QLabel *m_modeLabel;
    FormStorage *m_storage;
};
