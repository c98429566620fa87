#pragma once

#include <QDialog>

#include <functional>

class FormStorage;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

// Copies the user's tables (scheduled items, history, memorized payees) to a
// folder and brings them back from one. Created once and reused; every opening
// starts on the "Backup" page.
class TFrmBackup : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmBackup(QWidget *parent = nullptr);
    ~TFrmBackup() override;

    QTabWidget *PageControl1;
    QWidget *TabSheetBackup;
    QWidget *TabSheetRestore;
    QLineEdit *DirectoryEdit1;
    QLineEdit *DirectoryEdit2;
    QToolButton *BrowseBtn1;
    QToolButton *BrowseBtn2;
    QCheckBox *CheckBoxBackSched;
    QCheckBox *CheckBoxBackHist;
    QCheckBox *CheckBoxBackPayee;
    QCheckBox *CheckBoxRestSched;
    QCheckBox *CheckBoxRestHist;
    QCheckBox *CheckBoxRestPayee;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *ButtonRestoreOK;
    QPushButton *ButtonCancelOK;

    void OkBtnClick();
    void ButtonRestoreOKClick();

    // Where a backup goes until the user picks another folder.
    static QString defaultDirectory();
    // Asks for a folder starting at the given one; an empty answer keeps the
    // input as it is. The real one is the system's folder dialog.
    std::function<QString(QWidget *parent, const QString &start)> chooseDirectory;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *buildPage(const QString &label, QLineEdit *&edit, QToolButton *&browse,
        const QStringList &boxes, QList<QCheckBox *> &checks, QPushButton *&ok,
        QPushButton *&cancel, const QString &prefix);
    void browse(QLineEdit *edit);
    // Trims the text and ends it with the separator, showing the result.
    QString normalise(QLineEdit *edit);
    bool isProgramDirectory(const QString &dir) const;
    void fillEmptyInputs();
    void updateButtons();

    FormStorage *m_storage;
};
