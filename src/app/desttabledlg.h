#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class FormStorage;
class QButtonGroup;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class Table;

// Asks where an export goes: the destination file, its type and how many
// records. Created anew for each export; its choices are kept in the
// settings and preset the next time, also after a restart.
class TDestTableDlg : public QDialog
{
    Q_OBJECT
public:
    // 1 Paradox, 2 dBASE, 3 ASCII
    enum Type { Paradox = 1, DBase = 2, Ascii = 3 };

    struct Choice
    {
        QString fileName; // as entered
        QString path; // absolute
        int type = Paradox;
        int count = 0; // 0: all records
    };

    // The name proposed (without folder), a type and a record count (0 keeps
    // the stored choice of each). True when the user pressed OK.
    static bool execute(const QString &proposedName, int type, int count, Choice &choice,
        QWidget *parent = nullptr);

    explicit TDestTableDlg(QWidget *parent = nullptr);
    ~TDestTableDlg() override;

    // Step 3 of opening: the starting folder and the proposed name with the
    // selected type's extension.
    void propose(const QString &proposedName);
    Choice choice() const;
    int type() const;
    void setType(int type);
    QString initialDir() const { return m_initialDir; }

    QLineEdit *TabnameEdit;
    QToolButton *BrowseBtn;
    QRadioButton *ParadoxBtn;
    QRadioButton *DBaseBtn;
    QRadioButton *AsciiBtn;
    QRadioButton *AllRecsBtn;
    QRadioButton *FirstRecsBtn;
    QLineEdit *RecordCntEdit;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;

    // The browse dialog while it is open (for tests).
    QFileDialog *browseDialog() const { return m_browse; }
    void browse();

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QGroupBox *buildTypeBox();
    QGroupBox *buildCountBox();
    void keepChoices();
    void typeChosen();
    void countChoiceChanged();
    void okClicked();
    // The destination as an absolute path: a relative name is taken from the starting folder.
    QString destination() const;

    QButtonGroup *TypeBtn;
    QString m_initialDir;
    QFileDialog *m_browse = nullptr;
    std::unique_ptr<FormStorage> m_storage;
};

// The export of a window's list (the main window's scheduled items, the
// history): asks for the destination, writes the new table and says how it went.
namespace ExportCurrentTable {
void run(Table &table, QWidget *parent);
}
