#pragma once

#include "chrome.h"
#include "formstorage.h"

#include <QDialog>
#include <QMenu>
#include <QString>

#include <functional>
#include <memory>

class ItemGrid;
class QCheckBox;
class QLabel;

class QMenuBar;
class QStatusBar;
class QTimer;
class QToolBar;
class QVBoxLayout;
class Table;
class TipWindow;

// The status line of the item lists: "Record" and the record number, the sort
// caption in the middle, the mode at the right.
class StatusLine
{
public:
    enum class Record {
        None, // no record number
        Number, // "n"
        OfCount, // "n:count"
    };
    // Compact: an 18-pixel line in an 11-pixel face.
    StatusLine(QStatusBar *bar, Record record, QLabel *sortLabel, bool compact = false);

    // Record number and mode of the table; empty and "Mode: Closed" when it is closed.
    void update(const Table &table);
    QString recordText() const; // "Record " followed by the number shown
    QString modeText() const;

private:
    Record m_record;
    QLabel *m_recordLabel = nullptr;
    QLabel *m_modeLabel;
};

// The frame every item-list window shares: menu bar, toolbar, title strip,
// the list area, status line, the window's tip and its switch, placement
// storage and F1. A window describes itself, adds its menus, toolbar buttons
// and list, then calls finishFrame().
class ListWindow : public QDialog
{
    Q_OBJECT
public:
    struct Frame
    {
        QString name; // object name
        QString caption; // window title
        QSize size;
        QString title; // the strip above the list
        QString section; // settings section
        FormStorage::Placement placement;
        QString helpPage; // F1 and "Help on This Screen"
        StatusLine::Record record = StatusLine::Record::None;
        bool compactStatus = false; // an 18-pixel line in an 11-pixel face
        // The window's tip; null while its window is not part of this build.
        std::function<TipWindow *()> tip;
    };

    // The tip switch, stored with the window's settings: whether the tip is
    // shown when the window opens.
    QCheckBox *CheckBoxToolTip;
    // The sort caption of the status line.
    QLabel *LabelSort;

    FormStorage *formStorage() const { return m_storage.get(); }
    QString recordText() const { return m_status->recordText(); }
    QString modeText() const { return m_status->modeText(); }

    // Shows the window's tip over its switch.
    void ToolTipClick();

    ~ListWindow() override;

protected:
    ListWindow(const Frame &frame, QWidget *parent);

    QMenuBar *menus() const { return m_menus; }
    QToolBar *toolBar() const { return m_toolBar; }
    // The area between the title strip and the status line.
    QVBoxLayout *body() const { return m_body; }

    // A menu entry that runs a slot of the window.
    template <typename Receiver, typename Slot>
    QAction *addEntry(QMenu *menu, const QString &text, Receiver *window, Slot slot)
    {
        QAction *action = menu->addAction(text);
        connect(action, &QAction::triggered, window, slot);
        return action;
    }
    // A toolbar button.
    QAction *addTool(Chrome::Glyph glyph, const QString &text, const QString &tip,
        const QString &objectName = {});
    // "&Calculator" in the given menu and the Calculator button on the toolbar.
    QAction *addCalculator(QMenu *tools);
    // The window's list: its columns are stored, its sort caption shown and
    // its record in the status line.
    void setList(ItemGrid *grid, Table *table);
    // Adds the Help menu and brings back the stored settings on each show.
    void finishFrame();

    // Shows the tip shortly after the window opened, when its switch is on.
    void showTipSoon();
    void stopTip();
    void updateStatus();

    void keyPressEvent(QKeyEvent *event) override;

private:
    Frame m_frame;
    QMenuBar *m_menus;
    QToolBar *m_toolBar;
    QVBoxLayout *m_body;
    QTimer *m_tipTimer;
    std::unique_ptr<StatusLine> m_status;
    std::unique_ptr<FormStorage> m_storage;
    Table *m_table = nullptr;
};
