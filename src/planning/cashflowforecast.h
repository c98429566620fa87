#pragma once

#include "forecastfile.h"

#include "domain/cashflow.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

class FormStorage;
class ForecastModel;
class ProjectionJob;
class QChart;
class QChartView;
class QComboBox;
class QHBoxLayout;
class QIODevice;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

// The money on hand over the coming days: a starting balance and the
// projected schedule give the running balance, drawn day by day with its
// lowest point and the days below zero, and listed occurrence by occurrence.
// The list can be saved as PDF or CSV.
class CashFlowForecast : public QDialog
{
    Q_OBJECT
public:
    explicit CashFlowForecast(QWidget *parent = nullptr);
    ~CashFlowForecast() override;

    static constexpr int Horizons[] = { 30, 90, 180, 365 };

    // The forecast shown; empty until the first projection has finished.
    const CashFlow *forecast() const { return m_forecast.get(); }
    bool busy() const;

    // Write the table on a worker, with progress and Cancel once it takes a
    // while; false (after a message) when the file could not be written, or
    // when cancelled, leaving any earlier file of that name as it was.
    bool savePdf(const QString &path);
    bool exportCsv(const QString &path);

    QLineEdit *balanceEdit() const { return m_balance; }
    QComboBox *horizonBox() const { return m_horizon; }
    QChartView *chartView() const { return m_chartView; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QHBoxLayout *buildTopRow();
    void buildTable();
    // The balance typed, as the program writes money or plainly; empty when
    // it is not an amount.
    std::optional<Money> startingBalance() const;
    // Says that the balance is not an amount and offers nothing to save.
    void refuseBalance();
    // The file name in the folder last saved to, or in Documents the first time.
    QString proposedPath(const QString &fileName) const;
    void project();
    void clear();
    void cancel();
    void showProgress(bool shown);
    void projected();
    void drawChart();
    void choosePdf();
    void chooseCsv();
    bool saveAside(const QString &path, const QString &label,
        const std::function<bool(QIODevice &, const CashFlow &, const ForecastFile::Progress &)>
            &write);

    QLineEdit *m_balance;
    QComboBox *m_horizon;
    QPushButton *m_pdf;
    QPushButton *m_csv;
    QChart *m_chart;
    QChartView *m_chartView;
    QLabel *m_lowest;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
    QTimer *m_progressDelay;
    QTableView *m_table;
    ForecastModel *m_model;
    ProjectionJob *m_job;
    FormStorage *m_storage;
    QString m_saveFolder; // where the last PDF or CSV went
    QDate m_today;
    QDate m_until; // of the projection shown or running
    // Shared with a file being written, which may outlast a new projection.
    std::shared_ptr<const CashFlow> m_forecast;
    bool m_saving = false;
};
