#pragma once

#include "itemmodel.h"

#include <QFont>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTableView>

#include <functional>

class ColoredHeader;
class QLineEdit;
class Table;

// Which of the list rules a window's item grid follows; each window states
// only where it differs from the main list.
struct GridRules
{
    bool editable = true;
    bool markToggle = true; // a press, double click or key on "Pay?" toggles the mark
    bool blankDefaults = true; // a new blank record gets its defaults
    bool appendAtEnd = true; // moving down from the last row starts a new record
    bool pickers = true; // date picker and calculator on their cells
    bool titleSort = true; // a title click sorts by that column
    bool selectedKeepsBand = false; // a selected due date keeps its band colour
    bool confirmDelete = true; // Ctrl+Delete asks "Delete record?"

    // The lists of the payment cycle: editable, but no mark toggle, no
    // defaults and no new record past the last one.
    static GridRules workList()
    {
        GridRules r;
        r.markToggle = false;
        r.blankDefaults = false;
        r.appendAtEnd = false;
        return r;
    }
    // Lists that only show records.
    static GridRules readOnly()
    {
        GridRules r = workList();
        r.editable = false;
        r.pickers = false;
        r.confirmDelete = false;
        return r;
    }
};

// The item list shared by the main, pay-bills, reschedule, reminder and
// history windows: a grid over a table handle with a row buffer. A record is
// posted when the user leaves its row; Escape cancels it.
class ItemGrid : public QTableView
{
    Q_OBJECT
public:
    explicit ItemGrid(QWidget *parent = nullptr);
    ~ItemGrid() override;

    void setTable(Table *table);
    Table *table() const { return m_table; }
    ItemModel *itemModel() const { return m_model; }
    ColoredHeader *titles() const { return m_header; }
    void setColumns(const QList<GridColumn> &columns);
    void setRules(const GridRules &rules);
    const GridRules &rules() const { return m_rules; }
    void setIntervalSource(std::function<int()> source);
    void setDefaultWarnSource(std::function<int()> source) { m_defaultWarn = std::move(source); }
    void setPickList(const QString &field, const QStringList &values);
    // A pick list read when an editor first asks for it, not when the window
    // opens; set again, it is read again.
    void setPickListSource(const QString &field, std::function<QStringList()> source);
    QStringList pickList(const QString &field) const;

    int columnOf(const QString &field) const { return m_model->columnOfField(field); }
    QString currentField() const;
    // Selects a cell by field on the current record.
    void selectField(const QString &field);
    // Follows the table's current record.
    void syncFromTable();
    // Takes the text of an open cell editor into the row buffer.
    void commitEditor();
    // With nothing left to take back, Escape closes a secondary window as its Cancel would.
    void escapeToWindow();
    // Posts a pending edit; shows the engine's message and returns false when refused.
    bool postPending();

    // The title sort: orders by the column's index and marks its title.
    void sortByColumn(int column);
    void markSortColumn(const QString &field);
    QString sortCaption() const { return m_sortCaption; }

    void toggleMark();
    void openCellAid();
    // Deletes the current record after "Delete record?".
    void deleteRecord();

Q_SIGNALS:
    void sortChanged(const QString &caption);
    void statusChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class ItemDelegate;
    void applyBlankDefaults();
    // Posts what is pending, then appends or inserts a record.
    void startRecord(void (Table::*start)());
    void reopenEditor(const QModelIndex &index, const QString &text);
    // The current cell is always in its editor, except on the mark column.
    void showCellEditor();
    // Keys typed into a cell editor that belong to the list; true when taken.
    bool editorKey(QWidget *editor, QKeyEvent *event);
    bool unitEditorKey(QWidget *editor, QKeyEvent *event);
    void editorEndKey(QWidget *editor, int key);
    // Sets the unit of a letter key on the current record; false for other keys.
    bool setUnitFromKey(int key);
    // Puts the selected cell back on the table's current record.
    void keepSelectionOnRecord();
    bool onMarkColumn() const;
    void showError(const std::exception &error);

    Table *m_table = nullptr;
    ItemModel *m_model;
    ColoredHeader *m_header;
    GridRules m_rules;
    std::function<int()> m_defaultWarn;
    mutable QHash<QString, QStringList> m_pickLists;
    mutable QHash<QString, std::function<QStringList()>> m_pickSources;
    QString m_sortCaption;
    bool m_syncing = false;
    // The widget that had the keyboard before the latest change of focus.
    QPointer<QWidget> m_focusBefore;
    QMetaObject::Connection m_followFocus;
};

// Units offered by the list and set by the unit letter keys.
QStringList unitNames();
// The face and size of the lists' cells; their titles are the same in bold.
QFont listFont();
