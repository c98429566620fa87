#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QKeyEvent;
class QLineEdit;
class QListView;
class QPushButton;
class QStringListModel;
class Table;

// The memorized payee list: the descriptions the schedule uses that are not
// memorized yet on the left, the memorized names (payee.db) on the right.
// Names move from left to right, are removed, or are typed in the edit box
// under the right list. Every change is on disk when the action returns.
class TFrmPayee : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmPayee(QWidget *parent = nullptr);
    ~TFrmPayee() override;

    // The memorized names, for browsing and editing.
    Table *TablePayee;
    QListView *ListUnmemorized;
    QListView *ListMemorized;
    QLineEdit *EditPayee;

    // Opening steps, run each time the window is shown.
    void FormShow();
    void MemorizeSelectedClick();
    void MemorizeAllClick();
    void RemoveSelectedClick();
    void RemoveAllClick();
    void CreateNewClick();
    void SaveClick();
    void CancelClick();

    // A name is being typed: new or changed, not saved yet.
    bool isEditing() const;
    QStringList unmemorizedNames() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildLayout();
    bool previewKey(QKeyEvent *event);
    void updateControls();
    void showCurrentName();
    void reloadUnmemorized();
    // Memorizes these rows of the left list.
    void memorize(const QList<int> &rows);
    // Saves a name still being typed before an action on the whole list;
    // false when it could not be saved (the entry stays open).
    bool settlePending();
    void focusList(QListView *list);
    void followTable();
    void userTyped(const QString &text);

    QStringListModel *m_unmemorized;
    QPushButton *m_memorize;
    QPushButton *m_memorizeAll;
    QPushButton *m_remove;
    QPushButton *m_removeAll;
    QPushButton *m_close;
    QPushButton *m_new;
    QPushButton *m_save;
    QPushButton *m_cancel;
    bool m_following = false; // the list and the edit box are being set from the table
};
