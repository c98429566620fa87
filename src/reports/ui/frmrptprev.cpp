#include "frmrptprev.h"

#include "app/formstorage.h"
#include "app/savefile.h"
#include "data/destination.h"
#include "data/engineerror.h"
#include "dialogs/keypreview.h"
#include "pageview.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/installpaths.h"
#include "platform/messages.h"
#include "platform/slowwork.h"
#include "reports/engine/output.h"
#include "reports/engine/pagestore.h"
#include "reports/engine/printing.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace {
const QString HelpPage = QStringLiteral("report_preview_screen.hta");

QIcon printerPicture()
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(40, 40, 40));
    p.setBrush(Qt::white);
    p.drawRect(5, 1, 10, 7); // paper going in
    p.setBrush(QColor(150, 150, 160));
    p.drawRoundedRect(1, 7, 18, 8, 2, 2); // body
    p.setBrush(Qt::white);
    p.drawRect(5, 12, 10, 7); // paper coming out
    p.drawLine(7, 15, 13, 15);
    p.setBrush(QColor(60, 180, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(15, 9, 2, 2);
    return QIcon(pm);
}

QPushButton *toolButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    // Enter in the page or zoom input must not press a button.
    button->setAutoDefault(false);
    return button;
}

bool runPrintDialog(QPrinter &printer, int pageCount, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange
        | QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintCurrentPage
        | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setMinMax(1, std::max(1, pageCount));
    return dialog.exec() == QDialog::Accepted;
}
} // namespace

TFrmRptPrev::TFrmRptPrev(QWidget *parent)
    : QDialog(parent,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FrmRptPrev"));
    setWindowTitle(QStringLiteral("Report Preview"));
    QWidget *bar = makeToolBar();
    QRPreview1 = new PageView(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(QRPreview1, 1);
    m_layoutWatch = new QTimer(this);
    m_layoutWatch->setInterval(100);
    connectControls();
    setUpStorage();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        resize(std::min(room.width(), 960), std::min(room.height(), 760));
    } else {
        resize(960, 760);
    }
    new KeyPreview(this, [this](QKeyEvent *event) { return handleKey(event); });
}

QWidget *TFrmRptPrev::makeToolBar()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setFrameShape(QFrame::StyledPanel);
    BitBtnPrint = toolButton(QStringLiteral("BitBtnPrint"), QStringLiteral("Print"), bar);
    BitBtnPrint->setIcon(printerPicture());
    BitBtnPrint->setToolTip(QStringLiteral("Print the report (Ctrl+P)"));
    BitBtnSavePdf
        = toolButton(QStringLiteral("BitBtnSavePdf"), QStringLiteral("Save as PDF\u2026"), bar);
    BitBtnSavePdf->setToolTip(QStringLiteral("Save the report as a PDF file"));
    auto *pageLabel = new QLabel(QStringLiteral("Page"), bar);
    SpinEdit1 = new QSpinBox(bar);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(1, 1);
    SpinEdit1->setKeyboardTracking(false);
    SpinEdit1->setMinimumWidth(70);
    pageLabel->setBuddy(SpinEdit1);
    PageCountLabel = new QLabel(bar);
    PageCountLabel->setObjectName(QStringLiteral("PageCountLabel"));
    auto *zoomLabel = new QLabel(QStringLiteral("Zoom %"), bar);
    SpinEdit2 = new QSpinBox(bar);
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setRange(PageView::MinZoom, PageView::MaxZoom);
    SpinEdit2->setSingleStep(10);
    SpinEdit2->setValue(100);
    SpinEdit2->setKeyboardTracking(false);
    SpinEdit2->setMinimumWidth(60);
    zoomLabel->setBuddy(SpinEdit2);
    BitBtnZoomFit = toolButton(QStringLiteral("BitBtnZoomFit"), QStringLiteral("Zoom to Fit"), bar);
    BitBtnZoomWidth
        = toolButton(QStringLiteral("BitBtnZoomWidth"), QStringLiteral("Zoom to Width"), bar);
    BitBtnClose = toolButton(QStringLiteral("BitBtnClose"), QStringLiteral("Close"), bar);

    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(4, 3, 4, 3);
    barLayout->setSpacing(6);
    for (QWidget *w : std::initializer_list<QWidget *>{ BitBtnPrint, BitBtnSavePdf, nullptr,
             pageLabel, SpinEdit1, PageCountLabel, nullptr, zoomLabel, SpinEdit2, BitBtnZoomFit,
             BitBtnZoomWidth, nullptr, BitBtnClose }) {
        if (w)
            barLayout->addWidget(w);
        else
            barLayout->addSpacing(8);
    }
    barLayout->addStretch(1);
    return bar;
}

void TFrmRptPrev::connectControls()
{
    connect(BitBtnPrint, &QPushButton::clicked, this, &TFrmRptPrev::BitBtnPrintClick);
    connect(BitBtnSavePdf, &QPushButton::clicked, this, &TFrmRptPrev::SavePdfClick);
    connect(BitBtnZoomFit, &QPushButton::clicked, this, &TFrmRptPrev::BitBtnZoomFitClick);
    connect(BitBtnZoomWidth, &QPushButton::clicked, this, &TFrmRptPrev::BitBtnZoomWidthClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TFrmRptPrev::goToPage);
    connect(SpinEdit2, &QSpinBox::valueChanged, QRPreview1, &PageView::setZoom);
    connect(m_layoutWatch, &QTimer::timeout, this, &TFrmRptPrev::followLayout);

    m_printerSetup = [this](QPrinter &printer, int pageCount) {
        return runPrintDialog(printer, pageCount, this);
    };
    m_askPdfPath = [this](const QString &suggested) {
        return SaveFile::ask(this, QStringLiteral("Save as PDF"), suggested,
            QStringLiteral("PDF files (*.pdf)"), QStringLiteral("pdf"));
    };
}

void TFrmRptPrev::setUpStorage()
{
    m_storage = std::make_unique<FormStorage>(this, QStringLiteral("TFrmRptPrev"),
        FormStorage::Placement(FormStorage::State | FormStorage::Position));
    m_storage->addProperty(
        QStringLiteral("SavePdfDialog_InitialDir"), [this] { return m_pdfFolder; },
        [this](const QString &folder) {
            m_pdfFolder = folder;
            return true;
        });
    m_storage->attach();
}

TFrmRptPrev::~TFrmRptPrev() = default;

void TFrmRptPrev::setPrinterSetup(PrinterSetup setup)
{
    m_printerSetup = std::move(setup);
}

void TFrmRptPrev::setPdfPathAsker(PdfPathAsker ask)
{
    m_askPdfPath = std::move(ask);
}

QString TFrmRptPrev::pdfFolder() const
{
    return m_pdfFolder.isEmpty() || !QFileInfo(m_pdfFolder).isDir()
        ? InstallPaths::documentsFolder()
        : m_pdfFolder;
}

void TFrmRptPrev::preview(std::unique_ptr<ReportEngine::PageStore> pages, const QString &name)
{
    m_pages = std::move(pages);
    m_name = name;
    QRPreview1->setPages(m_pages.get());
    {
        const QSignalBlocker pageBlock(SpinEdit1), zoomBlock(SpinEdit2);
        SpinEdit1->setValue(1);
        SpinEdit2->setValue(QRPreview1->zoom());
    }
    if (followLayout()) {
        if (m_pages && !m_pages->complete())
            m_layoutWatch->start();
        QRPreview1->setFocus();
        exec();
        m_layoutWatch->stop();
    }
    QRPreview1->setPages(nullptr);
    m_pages.reset();
}

bool TFrmRptPrev::followLayout()
{
    if (!m_pages)
        return true;
    const bool complete = m_pages->complete();
    const int count = m_pages->pageCount();
    {
        const QSignalBlocker block(SpinEdit1);
        SpinEdit1->setRange(1, std::max(1, count));
    }
    // The page view shows page 1 as soon as there is one.
    if (QRPreview1->page() == 0 && count > 0)
        QRPreview1->setPages(m_pages.get());
    const QString shown = QLocale().toString(count);
    PageCountLabel->setText(
        complete ? QStringLiteral("of %1").arg(shown) : QStringLiteral("of %1\u2026").arg(shown));
    if (!complete)
        return true;
    m_layoutWatch->stop();
    try {
        m_pages->finish();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
        if (isVisible())
            reject();
        return false;
    }
    return true;
}

bool TFrmRptPrev::ensureComplete()
{
    if (!m_pages)
        return false;
    try {
        if (!m_pages->complete()) {
            BusyPointer::set(true);
            SlowWork work(this, QStringLiteral("Laying out the pages..."));
            const bool done = m_pages->finish(work.progress());
            BusyPointer::set(false);
            if (!done)
                return false;
        }
        m_pages->finish();
    } catch (const EngineError &e) {
        BusyPointer::set(false);
        Messages::current().error(e.message());
        return false;
    }
    followLayout();
    return true;
}

void TFrmRptPrev::goToPage(int page)
{
    QRPreview1->showPage(page);
    const QSignalBlocker block(SpinEdit1);
    SpinEdit1->setValue(std::max(1, QRPreview1->page()));
}

void TFrmRptPrev::BitBtnZoomFitClick()
{
    SpinEdit2->setValue(QRPreview1->zoomToFit());
}

void TFrmRptPrev::BitBtnZoomWidthClick()
{
    SpinEdit2->setValue(QRPreview1->zoomToWidth());
}

void TFrmRptPrev::stepZoom(int steps)
{
    SpinEdit2->stepBy(steps);
}

void TFrmRptPrev::BitBtnPrintClick()
{
    if (m_saving || !ensureComplete())
        return;
    QPrinter printer(QPrinter::HighResolution);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer installed: the dialog still offers printing to a file.
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QDir(pdfFolder()).filePath(m_name + QStringLiteral(".pdf")));
    }
    printer.setDocName(ReportEngine::JobTitle);
    printer.setPageLayout(m_pages->pageLayout());
    const int count = m_pages->pageCount();
    if (!m_printerSetup(printer, count))
        return;

    int first = 0, last = 0;
    switch (printer.printRange()) {
    case QPrinter::PageRange:
        first = printer.fromPage();
        last = std::min(printer.toPage(), count);
        break;
    case QPrinter::CurrentPage:
        first = last = QRPreview1->page();
        break;
    default:
        break;
    }
    if (first > count)
        return;
    // Printing to a file writes it as every other file is written.
    const QString target = printer.outputFileName();
    std::unique_ptr<DestinationFile> file;
    try {
        if (!target.isEmpty()) {
            file = std::make_unique<DestinationFile>(target, QStringLiteral(".pdf"));
            printer.setOutputFileName(file->tempPath());
        }
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
        return;
    }
    BusyPointer::set(true);
    bool printed = ReportEngine::print(*m_pages, printer, first, last);
    BusyPointer::set(false);
    try {
        if (printed && file)
            file->commit();
    } catch (const EngineError &) {
        printed = false;
    }
    if (!printed) {
        const QString where = target.isEmpty()
            ? QStringLiteral("on the printer \"%1\"").arg(printer.printerName())
            : QStringLiteral("to \"%1\"").arg(QDir::toNativeSeparators(target));
        Messages::current().error(QStringLiteral("The report could not be printed %1.").arg(where));
    }
}

void TFrmRptPrev::SavePdfClick()
{
    if (m_saving || !ensureComplete())
        return;
    const QString path = m_askPdfPath(QDir(pdfFolder()).filePath(m_name + QStringLiteral(".pdf")));
    if (path.isEmpty())
        return;
    m_pdfFolder = QFileInfo(path).absolutePath();
    writePdf(path);
    if (m_closeAfterSave)
        reject();
}

// Written aside: the pages can still be looked through, and Cancel leaves
// the destination as it was (the file is renamed into place only when whole).
void TFrmRptPrev::writePdf(const QString &path)
{
    m_saving = true;
    m_closeAfterSave = false;
    BitBtnPrint->setEnabled(false);
    BitBtnSavePdf->setEnabled(false);
    try {
        SlowWork::aside(this, QStringLiteral("Writing %1...").arg(QFileInfo(path).fileName()),
            QStringLiteral("Saving Report"), [&](const ReportEngine::Progress &progress) {
                ReportEngine::writePdf(*m_pages, path, progress);
            });
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
    } catch (const std::exception &e) {
        Messages::current().error(QString::fromLocal8Bit(e.what()));
    }
    BitBtnPrint->setEnabled(true);
    BitBtnSavePdf->setEnabled(true);
    m_saving = false;
}

bool TFrmRptPrev::handleKey(QKeyEvent *event)
{
    if (Help::isHelpKey(event)) {
        Help::open(HelpPage);
        return true;
    }
    const Qt::KeyboardModifiers mods
        = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_PageDown:
            goToPage(QRPreview1->page() + 1);
            return true;
        case Qt::Key_PageUp:
            goToPage(QRPreview1->page() - 1);
            return true;
        case Qt::Key_Home:
            goToPage(1);
            return true;
        case Qt::Key_End:
            goToPage(QRPreview1->pageCount());
            return true;
        default:
            return false;
        }
    }
    // Ctrl with "+" or "=" (the same key without Shift), with or without Shift.
    if (mods & Qt::ControlModifier && !(mods & Qt::AltModifier)) {
        switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            stepZoom(1);
            return true;
        case Qt::Key_Minus:
            stepZoom(-1);
            return true;
        case Qt::Key_P:
            if (mods == Qt::ControlModifier) {
                BitBtnPrintClick();
                return true;
            }
            return false;
        default:
            return false;
        }
    }
    return false;
}

void TFrmRptPrev::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        BusyPointer::set(false);
}

void TFrmRptPrev::done(int result)
{
    // The pages stay until the PDF being written from them is done.
    if (m_saving) {
        m_closeAfterSave = true;
        return;
    }
    BusyPointer::set(true);
    QDialog::done(result);
}
