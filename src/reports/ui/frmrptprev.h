#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class FormStorage;
class PageView;
class QLabel;
class QTimer;
class QPrinter;
class QPushButton;
class QSpinBox;

namespace ReportEngine {
class PageStore;
}

// The preview of a prepared report: one page at a time at a chosen zoom, from
// which the held pages are printed or saved as a PDF.
class TFrmRptPrev : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmRptPrev(QWidget *parent = nullptr);
    ~TFrmRptPrev() override;

    // Shows the pages modally, starting at page 1 and zoom 100, and lets them
    // go when the window closes. `name` is the report's name (for file names).
    void preview(std::unique_ptr<ReportEngine::PageStore> pages, const QString &name);
    const ReportEngine::PageStore *pages() const { return m_pages.get(); }

    // Sets up the printer: copies, page range, printer or file. The default
    // runs the print dialog; returns false when the user cancelled.
    using PrinterSetup = std::function<bool(QPrinter &printer, int pageCount)>;
    void setPrinterSetup(PrinterSetup setup);
    // Asks where to save the PDF, starting from a suggested path; empty when
    // the user cancelled. The default runs a file dialog.
    using PdfPathAsker = std::function<QString(const QString &suggested)>;
    void setPdfPathAsker(PdfPathAsker ask);
    // The folder the PDF file dialog starts in, remembered between runs.
    QString pdfFolder() const;

    void BitBtnPrintClick();
    void SavePdfClick();
    void BitBtnZoomFitClick();
    void BitBtnZoomWidthClick();
    // Shows a page and sets the page input to the page actually shown.
    void goToPage(int page);

    QPushButton *BitBtnPrint;
    QPushButton *BitBtnSavePdf;
    QSpinBox *SpinEdit1;
    QLabel *PageCountLabel; // "of 12" (the count grows while pages are laid out)
    QSpinBox *SpinEdit2;
    QPushButton *BitBtnZoomFit;
    QPushButton *BitBtnZoomWidth;
    QPushButton *BitBtnClose;
    PageView *QRPreview1;

    void done(int result) override;

protected:
    void changeEvent(QEvent *event) override;

private:
    // The steps of building the window.
    QWidget *makeToolBar();
    void connectControls();
    void setUpStorage();
    bool handleKey(QKeyEvent *event);
    void stepZoom(int steps);
    // Follows pages laid out aside: the page input's range and the count
    // grow. False (said in a message, the window closed) when the layout failed.
    bool followLayout();
    // Waits for every page (with progress and Cancel); false when cancelled
    // or the layout failed (said in a message).
    bool ensureComplete();
    void writePdf(const QString &path);

    std::unique_ptr<ReportEngine::PageStore> m_pages;
    QString m_name;
    QString m_pdfFolder;
    PrinterSetup m_printerSetup;
    PdfPathAsker m_askPdfPath;
    std::unique_ptr<FormStorage> m_storage;
    QTimer *m_layoutWatch;
    bool m_saving = false;
    bool m_closeAfterSave = false;
};
