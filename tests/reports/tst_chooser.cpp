#include "../support/testsupport.h"
#include "../support/schedulebuilder.h"
#include "app/frmsched.h"
#include "app/windows.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "dialogs/frmcalendar.h"
#include "main/windowset.h"
#include "platform/busypointer.h"
#include "reports/ui/frmchoosereport.h"
#include "reports/ui/frmrptprev.h"
#include "reports/ui/pageview.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <set>

namespace {
// Pages that say which report and page they are, and remember which of them
// were drawn.
class FakePages : public ReportEngine::PageStore
{
public:
    FakePages(QString name, int count)
        : m_name(std::move(name))
        , m_count(count)
    { }
    int pageCount() const override { return m_count; }
    QPageLayout pageLayout() const override
    {
        return QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
            QMarginsF(0, 18, 0, 18), QPageLayout::Point);
    }
    void drawPage(QPainter &painter, int index) const override
    {
        QThread::msleep(delayMs);
        drawn.insert(index);
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(16); // 12 points in 1/96 inch
        painter.setFont(font);
        painter.drawText(QPointF(20, 40), QStringLiteral("%1 page %2").arg(m_name).arg(index + 1));
    }
    mutable std::set<int> drawn;
    unsigned long delayMs = 0;

private:
    QString m_name;
    int m_count;
};

class FakeReport : public Reports::Report
{
public:
    FakeReport(QString entry, int pages)
        : m_entry(std::move(entry))
        , m_pages(pages)
    { }
    QString entryText() const override { return m_entry; }
    std::unique_ptr<ReportEngine::PageStore> prepare(
        const Reports::Request &request, const ReportEngine::Progress &progress) override
    {
        ++prepared;
        last = request;
        if (!error.isEmpty())
            throw EngineError(error);
        if (slow) {
            // Until cancelled, or ten seconds at most.
            for (int i = 0; i < 1000; ++i) {
                QThread::msleep(10);
                if (!progress(i, 1000))
                    return nullptr;
            }
        }
        return std::make_unique<FakePages>(m_entry, m_pages);
    }
    int prepared = 0;
    Reports::Request last;
    QString error;
    bool slow = false;

private:
    QString m_entry;
    int m_pages;
};

struct Seen
{
    bool shown = false;
    int pageCount = 0;
    int page = 0;
    int input = 0; // the page or zoom input
};

// Runs `inside` on the preview once it is up, then closes it.
void whilePreviewOpen(std::function<void(TFrmRptPrev *)> inside)
{
    whenModalOf("TFrmRptPrev", [inside](QWidget *w) {
        auto *preview = qobject_cast<TFrmRptPrev *>(w);
        if (!preview)
            return;
        inside(preview);
        QTest::mouseClick(preview->BitBtnClose, Qt::LeftButton);
    });
}

// Closes the preview as soon as it shows (it should not), counting the times.
class PreviewCloser : public QObject
{
public:
    explicit PreviewCloser(TFrmRptPrev *preview)
        : QObject(preview)
    {
        preview->installEventFilter(this);
    }
    int shows = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            ++shows;
            QTimer::singleShot(0, qobject_cast<QDialog *>(watched), &QDialog::reject);
        }
        return false;
    }
};

int pdfPages(const QString &path)
{
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), { path });
    if (!info.waitForFinished(30000))
        return -1;
    for (const QString &line : QString::fromUtf8(info.readAllStandardOutput()).split('\n'))
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

QString pdfText(const QString &path)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), { path, QStringLiteral("-") });
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput());
}

void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}
} // namespace

class TestChooser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void enabledStateRule_data();
    void enabledStateRule();
    void viewHandsOverInputsAndResetsAfterPreview();
    void errorKeepsChooserAtUserInput();
    void dateInputCheckedOnLeavingAndPickedFromCalendar();
    void cancelledPreparationShowsNoPreview();
    void pageInputSnapsBack_data();
    void pageInputSnapsBack();
    void zoomToWidthThenStepsOfTen();
    void printPrintsPreviewedPages_data();
    void printPrintsPreviewedPages();
    void printDialogWithoutPrinterCancels();
    void saveAsPdf();
    void cancelledPdfLeavesNoFile();
    void openedFromMainWindowAndHelpKeys();
    void realReportsPrintTheirOwnPages_data();
    void realReportsPrintTheirOwnPages();
    void realReportBadDateKeepsChooser();

private:
    FakeReport *fake(const QString &entry) const;
    void showChooser();

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<TFrmRptPrev> m_preview;
    std::unique_ptr<TFrmChooseReport> m_chooser;
    std::vector<FakeReport *> m_fakes;
};

void TestChooser::init()
{
    m_env = std::make_unique<TestEnv>();
    m_preview = std::make_unique<TFrmRptPrev>();
    m_chooser = std::make_unique<TFrmChooseReport>(m_preview.get());
    std::vector<std::unique_ptr<Reports::Report>> reports;
    m_fakes.clear();
    int pages = 3;
    for (const QString &entry : TFrmChooseReport::reportEntries()) {
        auto report = std::make_unique<FakeReport>(entry, pages++);
        m_fakes.push_back(report.get());
        reports.push_back(std::move(report));
    }
    m_chooser->setReports(std::move(reports));
}

void TestChooser::cleanup()
{
    m_chooser.reset();
    m_preview.reset();
    BusyPointer::set(false);
    m_env.reset();
}

FakeReport *TestChooser::fake(const QString &entry) const
{
    for (FakeReport *f : m_fakes)
        if (f->entryText() == entry)
            return f;
    return nullptr;
}

void TestChooser::showChooser()
{
    m_chooser->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_chooser.get()));
}

void TestChooser::enabledStateRule_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("lists");
    QTest::addColumn<bool>("dates");
    QTest::addColumn<QString>("sort");
    QTest::addColumn<QString>("field");
    // The user's own choices stay for the reports that use them.
    QTest::newRow("scheduled") << "Scheduled Items - Standard" << true << true << "Budget"
                               << "Process Date";
    QTest::newRow("history ext") << "History Items - Extended (Includes User Fields)" << true
                                 << true << "Budget"
                                 << "Process Date";
    QTest::newRow("pay flag") << "Summary by Pay Flag" << false << false << "Pay Flag"
                              << "Process Date";
    QTest::newRow("due date") << "Summary by Due Date" << false << true << "Due Date"
                              << "Due Date";
    QTest::newRow("due range") << "Summary by Due Date Range" << false << false << "Due Date"
                               << "Due Date";
}

void TestChooser::enabledStateRule()
{
    QFETCH(QString, entry);
    QFETCH(bool, lists);
    QFETCH(bool, dates);
    QFETCH(QString, sort);
    QFETCH(QString, field);
    showChooser();
    TFrmChooseReport *c = m_chooser.get();
    QCOMPARE(c->ReportComboBox1->count(), 7);
    QVERIFY(!c->ReportComboBox1->isEditable());
    c->ComboBoxSort->setCurrentText(QStringLiteral("Budget"));
    c->ComboBoxDateFilter->setCurrentText(QStringLiteral("Process Date"));
    // From a summary that disables everything, so each state is really set.
    c->ReportComboBox1->setCurrentText(entry == QStringLiteral("Summary by Pay Flag")
            ? QStringLiteral("Summary by Due Date Range")
            : QStringLiteral("Summary by Pay Flag"));
    c->ComboBoxSort->setCurrentText(QStringLiteral("Budget"));
    c->ComboBoxDateFilter->setCurrentText(QStringLiteral("Process Date"));
    c->ReportComboBox1->setCurrentText(entry);
    QCOMPARE(c->ComboBoxSort->isEnabled(), lists);
    QCOMPARE(c->ComboBoxDateFilter->isEnabled(), lists);
    QCOMPARE(c->EditDateBegin->isEnabled(), dates);
    QCOMPARE(c->EditDateEnd->isEnabled(), dates);
    QCOMPARE(c->ButtonDateBegin->isEnabled(), dates);
    QCOMPARE(c->ButtonDateEnd->isEnabled(), dates);
    QCOMPARE(c->ComboBoxSort->currentText(), sort);
    QCOMPARE(c->ComboBoxDateFilter->currentText(), field);
}

void TestChooser::viewHandsOverInputsAndResetsAfterPreview()
{
    showChooser();
    TFrmChooseReport *c = m_chooser.get();
    QCOMPARE(c->EditDateBegin->text(), QStringLiteral("1/1/1900"));
    QCOMPARE(c->EditDateEnd->text(), QStringLiteral("12/31/2099"));

    c->ReportComboBox1->setCurrentText(QStringLiteral("History Items - Standard"));
    c->ComboBoxSort->setCurrentText(QStringLiteral("Description"));
    c->ComboBoxDateFilter->setCurrentText(QStringLiteral("Process Date"));
    typeInto(c->EditDateBegin, QStringLiteral("3/1/2024"));
    c->EditDateEnd->clear();
    Seen seen;
    whilePreviewOpen([&](TFrmRptPrev *p) {
        seen = { true, p->SpinEdit1->maximum(), p->QRPreview1->page(), p->SpinEdit2->value() };
    });
    QTest::keyClick(c->EditDateBegin, Qt::Key_Return); // the default button
    FakeReport *history = fake(QStringLiteral("History Items - Standard"));
    QCOMPARE(history->prepared, 1);
    QCOMPARE(history->last.sort, QStringLiteral("Description"));
    QCOMPARE(history->last.dateField, QStringLiteral("Process Date"));
    QCOMPARE(history->last.begin, QStringLiteral("3/1/2024"));
    QCOMPARE(history->last.end, QString());
    QVERIFY(seen.shown);
    QCOMPARE(seen.pageCount, 8);
    QCOMPARE(seen.page, 1);
    QCOMPARE(seen.input, 100);
    QVERIFY(!m_preview->pages()); // let go when the preview closed

    // A summary disables its inputs; back from its preview everything is at
    // the defaults and enabled again.
    c->ReportComboBox1->setCurrentText(QStringLiteral("Summary by Pay Flag"));
    whilePreviewOpen([&](TFrmRptPrev *) {});
    QTest::mouseClick(c->ButtonViewReport, Qt::LeftButton);
    QCOMPARE(fake(QStringLiteral("Summary by Pay Flag"))->last.sort, QStringLiteral("Pay Flag"));
    QVERIFY(c->isVisible());
    QCOMPARE(c->ReportComboBox1->currentText(), QStringLiteral("Scheduled Items - Standard"));
    QCOMPARE(c->ComboBoxSort->currentText(), QStringLiteral("Due Date"));
    QCOMPARE(c->ComboBoxDateFilter->currentText(), QStringLiteral("Due Date"));
    QCOMPARE(c->EditDateBegin->text(), QStringLiteral("1/1/1900"));
    QCOMPARE(c->EditDateEnd->text(), QStringLiteral("12/31/2099"));
    for (QWidget *w : std::initializer_list<QWidget *>{
             c->ComboBoxSort, c->ComboBoxDateFilter, c->EditDateBegin, c->EditDateEnd })
        QVERIFY(w->isEnabled());
    QVERIFY(!BusyPointer::isBusy());
}

void TestChooser::errorKeepsChooserAtUserInput()
{
    showChooser();
    TFrmChooseReport *c = m_chooser.get();
    FakeReport *report = fake(QStringLiteral("Scheduled Items - Extended (Includes User Fields)"));
    report->error = QStringLiteral("'13/45/2024' is not a valid date");
    c->ReportComboBox1->setCurrentText(report->entryText());
    c->ComboBoxSort->setCurrentText(QStringLiteral("Balance"));
    typeInto(c->EditDateEnd, QStringLiteral("13/45/2024"));
    auto *previews = new PreviewCloser(m_preview.get());
    QTest::keyClick(c->EditDateEnd, Qt::Key_Return);
    QCOMPARE(m_env->messages.texts(), QStringList{ report->error });
    QCOMPARE(m_env->messages.shown().constFirst().kind, QStringLiteral("error"));
    QCOMPARE(previews->shows, 0);
    QVERIFY(!BusyPointer::isBusy());
    // The chooser coming back to the front after the message is no reset.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(c, &activate);
    QVERIFY(c->isVisible());
    QCOMPARE(c->ReportComboBox1->currentText(), report->entryText());
    QCOMPARE(c->ComboBoxSort->currentText(), QStringLiteral("Balance"));
    QCOMPARE(c->EditDateEnd->text(), QStringLiteral("13/45/2024"));
}

void TestChooser::dateInputCheckedOnLeavingAndPickedFromCalendar()
{
    showChooser();
    TFrmChooseReport *c = m_chooser.get();
    c->ReportComboBox1->setCurrentText(QStringLiteral("History Items - Standard"));
    typeInto(c->EditDateBegin, QStringLiteral("2/30/2024"));
    QTest::keyClick(c->EditDateBegin, Qt::Key_Tab);
    QTRY_COMPARE(m_env->messages.shown().size(), 1);
    QVERIFY(m_env->messages.texts().constFirst().contains(QStringLiteral("\"2/30/2024\"")));
    QTRY_VERIFY(c->EditDateBegin->hasFocus());
    // A blank or real date passes.
    m_env->messages.clear();
    typeInto(c->EditDateBegin, QStringLiteral("2/29/2024"));
    QTest::keyClick(c->EditDateBegin, Qt::Key_Tab);
    typeInto(c->EditDateEnd, QString());
    c->EditDateEnd->clear();
    QTest::keyClick(c->EditDateEnd, Qt::Key_Tab);
    QTest::qWait(20);
    QVERIFY(m_env->messages.shown().isEmpty());

    // The calendar opens on the date shown; the choices made stay.
    QDate opened;
    whenModalOf("TFrmcalendar", [&](QWidget *w) {
        auto *picker = qobject_cast<TFrmcalendar *>(w);
        if (!picker)
            return;
        opened = picker->calendarDate();
        QTest::mouseClick(
            picker->findChild<QToolButton *>(QStringLiteral("ButtonMonthForward")), Qt::LeftButton);
        QTest::mouseClick(
            picker->findChild<QPushButton *>(QStringLiteral("ButtonOk")), Qt::LeftButton);
    });
    QTest::mouseClick(c->ButtonDateBegin, Qt::LeftButton);
    QCOMPARE(opened, QDate(2024, 2, 29));
    QCOMPARE(c->EditDateBegin->text(), QStringLiteral("3/1/2024"));
    QCOMPARE(c->ReportComboBox1->currentText(), QStringLiteral("History Items - Standard"));
    QCOMPARE(c->EditDateEnd->text(), QString());
}

void TestChooser::cancelledPreparationShowsNoPreview()
{
    showChooser();
    TFrmChooseReport *c = m_chooser.get();
    FakeReport *report = fake(QStringLiteral("Scheduled Items - Standard"));
    report->slow = true;
    auto *previews = new PreviewCloser(m_preview.get());
    bool progressShown = false;
    whenModalOf("QProgressDialog", [&](QWidget *w) {
        if (auto *progress = qobject_cast<QProgressDialog *>(w)) {
            progressShown = true;
            progress->cancel();
        }
    });
    QTest::mouseClick(c->ButtonViewReport, Qt::LeftButton);
    QVERIFY(progressShown);
    QCOMPARE(previews->shows, 0);
    QVERIFY(!m_preview->pages());
    QVERIFY(c->isVisible());
    QVERIFY(!BusyPointer::isBusy());
}

void TestChooser::pageInputSnapsBack_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("page");
    QTest::newRow("zero") << "0" << 3;
    QTest::newRow("beyond last") << "6" << 3;
    QTest::newRow("far beyond") << "60" << 3;
    QTest::newRow("in range") << "5" << 5;
}

void TestChooser::pageInputSnapsBack()
{
    QFETCH(QString, typed);
    QFETCH(int, page);
    auto pages = std::make_unique<FakePages>(QStringLiteral("Five"), 5);
    FakePages *store = pages.get();
    Seen seen;
    std::set<int> drawn;
    whilePreviewOpen([&](TFrmRptPrev *p) {
        QTest::keyClick(p->QRPreview1, Qt::Key_PageDown);
        QTest::keyClick(p->QRPreview1, Qt::Key_PageDown);
        typeInto(p->SpinEdit1->findChild<QLineEdit *>(), typed);
        QTest::keyClick(p->SpinEdit1, Qt::Key_Return);
        store->drawn.clear();
        // Drawn into a picture of its own: a repaint does nothing while a
        // loaded machine has not shown the window yet.
        p->QRPreview1->viewport()->grab();
        drawn = store->drawn;
        seen = { true, p->SpinEdit1->maximum(), p->QRPreview1->page(), p->SpinEdit1->value() };
    });
    m_preview->preview(std::move(pages), QStringLiteral("Five"));
    QVERIFY(seen.shown);
    QCOMPARE(seen.page, page);
    QCOMPARE(seen.input, page); // the page input shows the page shown
    QCOMPARE(drawn, std::set<int>{ page - 1 });
}

void TestChooser::zoomToWidthThenStepsOfTen()
{
    QList<int> zooms;
    bool fits = false;
    whilePreviewOpen([&](TFrmRptPrev *p) {
        QSpinBox *zoom = p->SpinEdit2;
        QTest::mouseClick(p->BitBtnZoomWidth, Qt::LeftButton);
        zooms << zoom->value() << p->QRPreview1->zoom();
        QTest::keyClick(zoom, Qt::Key_Up);
        zooms << p->QRPreview1->zoom();
        QTest::keyClick(zoom, Qt::Key_Down);
        QTest::keyClick(zoom, Qt::Key_Down);
        zooms << p->QRPreview1->zoom();
        for (int i = 0; i < 40; ++i)
            QTest::keyClick(p->QRPreview1, Qt::Key_Minus, Qt::ControlModifier);
        zooms << p->QRPreview1->zoom();
        for (int i = 0; i < 40; ++i)
            QTest::keyClick(p->QRPreview1, Qt::Key_Plus, Qt::ControlModifier);
        zooms << zoom->value();
        QTest::mouseClick(p->BitBtnZoomFit, Qt::LeftButton);
        // The whole page fits the view, and a step more would not.
        const QSize view = p->QRPreview1->maximumViewportSize();
        const int fit = p->QRPreview1->zoom();
        const double dpi = p->QRPreview1->logicalDpiX() / 96.0;
        auto fitsAt = [&](int percent, int room) {
            return 8.5 * 96 * dpi * percent / 100 <= view.width() - room
                && 11 * 96 * dpi * percent / 100 <= view.height() - room;
        };
        fits = zoom->value() == fit && fitsAt(fit, 0) && !fitsAt(fit + 1, 24);
    });
    m_preview->preview(
        std::make_unique<FakePages>(QStringLiteral("Wide"), 2), QStringLiteral("Wide"));
    QCOMPARE(zooms.size(), 6);
    const int width = zooms[0];
    QVERIFY(width >= 10 && width <= 300);
    QCOMPARE(zooms[1], width);
    QCOMPARE(zooms[2], std::min(width + 10, 300));
    QCOMPARE(zooms[3], std::max(std::min(width + 10, 300) - 20, 10));
    QCOMPARE(zooms[4], 10);
    QCOMPARE(zooms[5], 300);
    QVERIFY(fits);
}

void TestChooser::printPrintsPreviewedPages_data()
{
    QTest::addColumn<int>("range"); // QPrinter::PrintRange
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("pages");
    QTest::newRow("all") << int(QPrinter::AllPages) << 0 << 0 << 6;
    QTest::newRow("range") << int(QPrinter::PageRange) << 2 << 3 << 2;
    QTest::newRow("range past the end") << int(QPrinter::PageRange) << 4 << 9999 << 3;
    QTest::newRow("current page") << int(QPrinter::CurrentPage) << 0 << 0 << 1;
}

void TestChooser::printPrintsPreviewedPages()
{
    QFETCH(int, range);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, pages);
    showChooser();
    const QString file = m_env->dir() + QStringLiteral("/printed.pdf");
    QString jobTitle;
    int offered = 0;
    m_preview->setPrinterSetup([&](QPrinter &printer, int count) {
        offered = count;
        jobTitle = printer.docName();
        printer.setOutputFileName(file);
        printer.setPrintRange(QPrinter::PrintRange(range));
        if (from)
            printer.setFromTo(from, to);
        return true;
    });
    // "Summary by Due Date" has 6 pages, the other reports other counts.
    m_chooser->ReportComboBox1->setCurrentText(QStringLiteral("Summary by Due Date"));
    whilePreviewOpen([&](TFrmRptPrev *p) {
        QTest::keyClick(p->QRPreview1, Qt::Key_End);
        QTest::keyClick(p->QRPreview1, Qt::Key_PageUp);
        QTest::keyClick(p->QRPreview1, Qt::Key_P, Qt::ControlModifier);
    });
    QTest::mouseClick(m_chooser->ButtonViewReport, Qt::LeftButton);
    QCOMPARE(offered, 6);
    QCOMPARE(jobTitle, QStringLiteral("Marrowfin Report"));
    QCOMPARE(pdfPages(file), pages);
    const QString text = pdfText(file);
    QVERIFY2(text.contains(QStringLiteral("Summary by Due Date page")), qPrintable(text));
    if (range == int(QPrinter::CurrentPage))
        QVERIFY(text.contains(QStringLiteral("page 5")));
}

void TestChooser::printDialogWithoutPrinterCancels()
{
    bool dialogSeen = false;
    whilePreviewOpen([&](TFrmRptPrev *p) {
        whenModal([&](QWidget *w) {
            dialogSeen = w && w != p;
            if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog != p)
                dialog->reject();
        });
        QTest::mouseClick(p->BitBtnPrint, Qt::LeftButton);
    });
    m_preview->preview(std::make_unique<FakePages>(QStringLiteral("P"), 2), QStringLiteral("P"));
    QVERIFY(dialogSeen);
    QVERIFY(m_env->messages.shown().isEmpty());
}

void TestChooser::saveAsPdf()
{
    const QString file = m_env->dir() + QStringLiteral("/out/summary.pdf");
    QVERIFY(QDir().mkpath(m_env->dir() + QStringLiteral("/out")));
    QString suggested;
    QString answer = file;
    m_preview->setPdfPathAsker([&](const QString &s) {
        suggested = s;
        return answer;
    });
    whilePreviewOpen([&](TFrmRptPrev *p) {
        QTest::mouseClick(p->BitBtnSavePdf, Qt::LeftButton);
        // A folder that does not exist: a message naming the path, no file.
        answer = m_env->dir() + QStringLiteral("/missing/x.pdf");
        QTest::mouseClick(p->BitBtnSavePdf, Qt::LeftButton);
    });
    m_preview->preview(std::make_unique<FakePages>(QStringLiteral("Summary by Pay Flag"), 3),
        QStringLiteral("Summary by Pay Flag"));
    QCOMPARE(QFileInfo(suggested).fileName(), QStringLiteral("Summary by Pay Flag.pdf"));
    const QString text = pdfText(file);
    for (int page = 1; page <= 3; ++page)
        QVERIFY2(text.contains(QStringLiteral("Summary by Pay Flag page %1").arg(page)),
            qPrintable(text));
    QCOMPARE(m_env->messages.shown().size(), 1);
    QVERIFY(m_env->messages.texts().constFirst().contains(QStringLiteral("missing/x.pdf")));
    QVERIFY(!QFile::exists(answer));
    // The folder of the last save is where the next one starts, in this run
    // and the next.
    QSettings settings(m_env->settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("TFrmRptPrev/SavePdfDialog_InitialDir")).toString(),
        m_env->dir() + QStringLiteral("/missing"));
}

void TestChooser::cancelledPdfLeavesNoFile()
{
    const QString folder = m_env->dir() + QStringLiteral("/out");
    QVERIFY(QDir().mkpath(folder));
    m_preview->setPdfPathAsker(
        [&](const QString &) { return folder + QStringLiteral("/slow.pdf"); });
    bool progressShown = false;
    whilePreviewOpen([&](TFrmRptPrev *p) {
        // The window answers while the file is written: the progress comes up
        // and its Cancel is heard.
        whenModalOf("QProgressDialog", [&](QWidget *w) {
            if (auto *progress = qobject_cast<QProgressDialog *>(w)) {
                progressShown = true;
                progress->cancel();
            }
        });
        QTest::mouseClick(p->BitBtnSavePdf, Qt::LeftButton);
    });
    auto pages = std::make_unique<FakePages>(QStringLiteral("Slow"), 1000);
    pages->delayMs = 5;
    m_preview->preview(std::move(pages), QStringLiteral("Slow"));
    QVERIFY(progressShown);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(m_env->messages.shown().isEmpty());
}

void TestChooser::openedFromMainWindowAndHelpKeys()
{
    m_env->createTables();
    createAllWindows();
    QVERIFY(Windows::FrmChooseReport);
    QAction *reports = Windows::frmSched->findChild<QAction *>(QStringLiteral("SpeedItem2"));
    QVERIFY(reports && reports->isEnabled());
    QString caption;
    whenModalOf("TFrmChooseReport", [&](QWidget *w) {
        if (!w)
            return;
        caption = w->windowTitle();
        QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_F1);
        w->close();
    });
    reports->trigger();
    destroyAllWindows();
    QCOMPARE(caption, QStringLiteral("Choose Report"));

    whilePreviewOpen([](TFrmRptPrev *p) { QTest::keyClick(p->QRPreview1, Qt::Key_F1); });
    m_preview->preview(std::make_unique<FakePages>(QStringLiteral("H"), 1), QStringLiteral("H"));
    QCOMPARE(m_env->desktop.helpFiles.size(), 2);
    QVERIFY(m_env->desktop.helpFiles[0].endsWith(QStringLiteral("/ds_help/choose_report.hta")));
    QVERIFY(
        m_env->desktop.helpFiles[1].endsWith(QStringLiteral("/ds_help/report_preview_screen.hta")));
}

void TestChooser::realReportsPrintTheirOwnPages_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("title");
    const QStringList titles = { "Scheduled Items", "Scheduled Items - Extended",
        "Summary by Pay Flag", "Summary by Due Date", "Summary by Due Date Range", "History Items",
        "History Items - Extended" };
    const QStringList entries = TFrmChooseReport::reportEntries();
    for (int i = 0; i < entries.size(); ++i)
        QTest::newRow(qPrintable(entries[i])) << entries[i] << titles[i];
}

void TestChooser::realReportsPrintTheirOwnPages()
{
    QFETCH(QString, entry);
    QFETCH(QString, title);
    m_env->createTables();
    for (const QString &file : { QStringLiteral("schedule.DB"), QStringLiteral("history.DB") })
        ScheduleBuilder(file)
            .item(QStringLiteral("Water bill"))
            .due(QDate(2024, 3, 20))
            .set(QStringLiteral("Process Date"), QDate(2024, 3, 14))
            .expense(30.0)
            .every(1, QStringLiteral("Months"))
            .write();
    createAllWindows();
    auto *chooser = qobject_cast<TFrmChooseReport *>(Windows::FrmChooseReport);
    QVERIFY(chooser);
    const QString file = m_env->dir() + QStringLiteral("/real.pdf");
    int pages = 0;
    whenModalOf("TFrmChooseReport", [&](QWidget *) {
        chooser->ReportComboBox1->setCurrentText(entry);
        whilePreviewOpen([&](TFrmRptPrev *p) {
            pages = p->pages()->pageCount();
            p->setPrinterSetup([&](QPrinter &printer, int) {
                printer.setOutputFileName(file);
                return true;
            });
            QTest::mouseClick(p->BitBtnPrint, Qt::LeftButton);
        });
        QTest::mouseClick(chooser->ButtonViewReport, Qt::LeftButton);
        chooser->close();
    });
    Windows::frmSched->findChild<QAction *>(QStringLiteral("SpeedItem2"))->trigger();
    destroyAllWindows();
    QVERIFY(m_env->messages.shown().isEmpty());
    QCOMPARE(pdfPages(file), pages);
    const QStringList lines = pdfText(file).split(QLatin1Char('\n'));
    QVERIFY2(lines.contains(title), qPrintable(lines.join('|')));
}

void TestChooser::realReportBadDateKeepsChooser()
{
    m_env->createTables();
    createAllWindows();
    auto *chooser = qobject_cast<TFrmChooseReport *>(Windows::FrmChooseReport);
    QVERIFY(chooser);
    int shows = 0;
    whenModalOf("TFrmChooseReport", [&](QWidget *) {
        auto *previews = new PreviewCloser(chooser->parentWidget()->findChild<TFrmRptPrev *>());
        chooser->ReportComboBox1->setCurrentText(QStringLiteral("History Items - Standard"));
        typeInto(chooser->EditDateBegin, QStringLiteral("not a date"));
        QTest::keyClick(chooser->EditDateBegin, Qt::Key_Return);
        shows = previews->shows;
        QVERIFY(chooser->isVisible());
        QCOMPARE(chooser->EditDateBegin->text(), QStringLiteral("not a date"));
        chooser->close();
    });
    Windows::frmSched->findChild<QAction *>(QStringLiteral("SpeedItem2"))->trigger();
    destroyAllWindows();
    QCOMPARE(shows, 0);
    QCOMPARE(m_env->messages.shown().size(), 1);
    QCOMPARE(m_env->messages.shown().constFirst().kind, QStringLiteral("error"));
    QVERIFY2(m_env->messages.texts().constFirst().contains(QStringLiteral("not a date")),
        qPrintable(m_env->messages.texts().constFirst()));
}

QTEST_MAIN(TestChooser)
#include "tst_chooser.moc"
