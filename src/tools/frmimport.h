#pragma once

#include "import/delimitedtext.h"
#include "import/importplan.h"

#include <QDialog>

#include <functional>

class ImportRowsModel;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QTableView;

// File › Import: a spreadsheet's delimited text or another finance program's
// scheduled transactions become items. Three steps: the file; for delimited
// text, how its columns are read; every row as it would be imported, with its
// problems and a tick. The import writes all ticked rows or none. Created
// once and reused; every opening starts at the first step.
class TFrmImport : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmImport(QWidget *parent = nullptr);
    ~TFrmImport() override;

    QStackedWidget *Pages;
    QWidget *PageFile;
    QWidget *PageMapping;
    QWidget *PagePreview;
    QLineEdit *EditFile;
    QPushButton *ButtonBrowse;
    QComboBox *ComboDelimiter;
    QComboBox *ComboEncoding;
    QCheckBox *CheckHeader;
    QComboBox *ComboDateOrder;
    QComboBox *ComboDecimal;
    QList<QComboBox *> ColumnCombos;
    QTableView *GridSample;
    QTableView *GridRows;
    QLabel *LabelMessage;
    QLabel *LabelCounts;
    QPushButton *ButtonBack;
    QPushButton *ButtonNext;
    QPushButton *ButtonImport;
    QPushButton *ButtonCancel;
    QPushButton *ButtonHelp;

    // Asks for the file to import; empty when the user cancelled. The real
    // one is the system's file dialog.
    std::function<QString(QWidget *parent, const QString &start)> chooseFile;
    // The summary of the last import ("24 items imported, 2 skipped").
    QString lastSummary() const { return m_summary; }
    // The open dialog's filter: text files and the finance programs' files.
    static QString fileFilter();

    void NextClick();
    void BackClick();
    void ImportClick();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildFilePage();
    QWidget *buildMappingPage();
    QWidget *buildPreviewPage();
    QLayout *buildButtons();
    void showPage(QWidget *page);
    void showMessage(const QString &text);
    // Reads the chosen file: a finance program's file goes straight to the
    // rows, delimited text to its mapping. False, with the reason shown, when
    // it cannot be read.
    bool openFile();
    // The mapping step: the controls from the options, and back.
    void controlsFromOptions();
    void optionsChanged(bool columnsToo);
    void rebuildColumnCombos();
    void refreshSample();
    bool readDelimited();
    bool showRows(const QList<SourceSchedule> &schedules);
    void updateCounts();

    QByteArray m_bytes;
    QString m_name;
    bool m_delimited = false;
    DelimitedText::Options m_options;
    ImportPlan m_plan;
    ImportPlan m_samplePlan;
    ImportRowsModel *m_rows;
    ImportRowsModel *m_sample;
    QFormLayout *m_columnForm = nullptr;
    QScrollArea *m_columnScroll = nullptr;
    QString m_summary;
    bool m_filling = false; // controls being set from the options, not by the user
};
