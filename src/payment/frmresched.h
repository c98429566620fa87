#pragma once

#include "app/listwindow.h"

class ItemGrid;
class Table;

// The reschedule screen: the next occurrences of a payment run, reviewed and
// edited, then written back into the schedule however the window is closed.
class TFrmresched : public ListWindow
{
    Q_OBJECT
public:
    explicit TFrmresched(QWidget *parent = nullptr);

    Table *Tableresched;
    Table *TableSched;
    Table *TablePayee;
    ItemGrid *DBGridsched;

    int exec() override;
    void done(int result) override;

private:
    // Writes the occurrences back; false (window stays open) when that failed.
    bool writeBack();
};
