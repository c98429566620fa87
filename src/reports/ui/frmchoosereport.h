#pragma once

#include "reports/report.h"

#include <QDialog>
#include <QLineEdit>
#include <QStringList>

#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class TFrmRptPrev;

// A date typed in the short date format, or blank. Text that is not a date is
// pointed out when the user leaves the input, and the input keeps the focus.
class DateInput : public QLineEdit
{
    Q_OBJECT
public:
    explicit DateInput(QWidget *parent = nullptr);
    // Opens the date picker on the date shown (today when it is not a date).
    void pickDate();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void checkDate();
};

// Where every report starts: pick a report, its order and a date range, and
// view it in the preview.
class TFrmChooseReport : public QDialog
{
    Q_OBJECT
public:
    TFrmChooseReport(TFrmRptPrev *preview, QWidget *parent = nullptr);
    ~TFrmChooseReport() override;

    // The entries of the report list, in their order.
    static QStringList reportEntries();
    // The reports offered; each is found by its entry text.
    void setReports(std::vector<std::unique_ptr<Reports::Report>> reports);

    // What the chosen report is asked for: the texts of the inputs as shown.
    Reports::Request request() const;

    // Back to the first report, "Due Date" order and the widest date range.
    void resetInputs();
    void ButtonViewReportClick();

    QComboBox *ReportComboBox1;
    QComboBox *ComboBoxSort;
    QComboBox *ComboBoxDateFilter;
    DateInput *EditDateBegin;
    DateInput *EditDateEnd;
    QToolButton *ButtonDateBegin;
    QToolButton *ButtonDateEnd;
    QPushButton *ButtonViewReport;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The steps of building the window.
    QWidget *makeFilter();
    void connectControls();
    void applyEnabledState();
    Reports::Report *chosenReport() const;

    TFrmRptPrev *m_preview;
    std::vector<std::unique_ptr<Reports::Report>> m_reports;
    QLabel *m_beginLabel;
    QLabel *m_endLabel;
};
