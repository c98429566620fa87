#include "frmimport.h"

#include "frmimportmodel.h"

#include "data/engineerror.h"
#include "import/books.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <memory>

using namespace DelimitedText;

namespace {
// Rows the mapping step shows while the user chooses.
constexpr int SampleRows = 50;

// The busy pointer for long work, and after half a second a progress window
// whose Cancel stops it.
class WorkProgress
{
public:
    WorkProgress(QWidget *owner, const QString &label)
        : m_owner(owner)
        , m_label(label)
    {
        BusyPointer::set(true);
        m_clock.start();
    }
    ~WorkProgress() { BusyPointer::set(false); }

    bool operator()(int permille)
    {
        if (!m_dialog && m_clock.elapsed() >= 500) {
            m_dialog = std::make_unique<QProgressDialog>(
                m_label, QStringLiteral("Cancel"), 0, 1000, m_owner);
            m_dialog->setWindowTitle(QStringLiteral("Duesmith"));
            m_dialog->setWindowModality(Qt::WindowModal);
            m_dialog->setMinimumDuration(0);
            m_dialog->setAutoClose(false);
            m_dialog->setAutoReset(false);
            m_dialog->show();
        }
        if (!m_dialog)
            return true;
        m_dialog->setValue(permille); // lets the Cancel button be pressed
        return !m_dialog->wasCanceled();
    }

private:
    QWidget *m_owner;
    QString m_label;
    QElapsedTimer m_clock;
    std::unique_ptr<QProgressDialog> m_dialog;
};

QString systemChooseFile(QWidget *parent, const QString &start)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Import"), start,
        TFrmImport::fileFilter(), nullptr, QFileDialog::DontUseNativeDialog);
}

// The suffixes of the finance programs' files, from the open dialog's filter.
bool isBookName(const QString &name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    return !suffix.isEmpty()
        && Books::fileFilter().contains(QStringLiteral("*.%1").arg(suffix), Qt::CaseInsensitive);
}

bool isTextName(const QString &name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    return suffix == QLatin1String("csv") || suffix == QLatin1String("tsv")
        || suffix == QLatin1String("txt") || suffix == QLatin1String("tab");
}

QComboBox *combo(const QStringList &items)
{
    auto *box = new QComboBox;
    box->addItems(items);
    return box;
}

QTableView *rowsView(ImportRowsModel *model)
{
    auto *view = new QTableView;
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectItems);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setStretchLastSection(false);
    view->setWordWrap(false);
    return view;
}

// Every field the import fills shows at the dialog's size: the columns no row
// uses are hidden and long texts cut, to be read in full in their tooltips.
void fitColumns(QTableView *view)
{
    const QAbstractItemModel *model = view->model();
    for (int c = 0; c < model->columnCount(); ++c) {
        bool used
            = !ImportRowsModel::isOptionalField(c) && c != ImportRowsModel::sourceRuleColumn();
        for (int r = 0; r < model->rowCount() && !used; ++r)
            used = !model->index(r, c).data().toString().isEmpty();
        view->setColumnHidden(c, !used);
    }
    view->resizeColumnsToContents();
    const int em = view->fontMetrics().horizontalAdvance(QLatin1Char('M'));
    const QHash<int, int> widest = { { ImportRowsModel::fieldColumn(QStringLiteral("Description")),
                                         16 },
        { ImportRowsModel::sourceRuleColumn(), 12 }, { ImportRowsModel::problemsColumn(), 22 } };
    for (auto it = widest.cbegin(); it != widest.cend(); ++it)
        view->setColumnWidth(it.key(), qMin(view->columnWidth(it.key()), it.value() * em));
}
} // namespace

TFrmImport::TFrmImport(QWidget *parent)
    : QDialog(parent)
    , m_rows(new ImportRowsModel(this))
    , m_sample(new ImportRowsModel(this))
{
    setObjectName(QStringLiteral("FrmImport"));
    setWindowTitle(QStringLiteral("Import"));
    chooseFile = systemChooseFile;
    Pages = new QStackedWidget;
    Pages->addWidget(PageFile = buildFilePage());
    Pages->addWidget(PageMapping = buildMappingPage());
    Pages->addWidget(PagePreview = buildPreviewPage());
    LabelMessage = new QLabel;
    LabelMessage->setWordWrap(true);
    LabelMessage->setStyleSheet(QStringLiteral("color: #c00000"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Pages, 1);
    layout->addWidget(LabelMessage);
    layout->addLayout(buildButtons());
    connect(m_rows, &ImportRowsModel::ticksChanged, this, &TFrmImport::updateCounts);
    resize(1060, 600);
}

TFrmImport::~TFrmImport() = default;

QString TFrmImport::fileFilter()
{
    return QStringLiteral("Delimited text (*.csv *.tsv *.txt);;%1;;All files (*)")
        .arg(Books::fileFilter());
}

QWidget *TFrmImport::buildFilePage()
{
    auto *page = new QWidget;
    auto *intro = new QLabel(QStringLiteral(
        "Choose the file to import: delimited text saved by a spreadsheet or a bank (.csv), or "
        "the file of HomeBank, KMyMoney, GnuCash or Money Manager Ex. The file is only read."));
    intro->setWordWrap(true);
    EditFile = new QLineEdit;
    ButtonBrowse = new QPushButton(QStringLiteral("&Browse..."));
    auto *label = new QLabel(QStringLiteral("&File:"));
    label->setBuddy(EditFile);
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(EditFile, 1);
    row->addWidget(ButtonBrowse);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(intro);
    layout->addLayout(row);
    layout->addStretch(1);
    connect(ButtonBrowse, &QPushButton::clicked, this, [this] {
        const QString chosen = chooseFile(this, EditFile->text());
        if (!chosen.isEmpty())
            EditFile->setText(chosen);
    });
    return page;
}

QWidget *TFrmImport::buildMappingPage()
{
    auto *page = new QWidget;
    ComboDelimiter
        = combo({ QStringLiteral("Comma"), QStringLiteral("Semicolon"), QStringLiteral("Tab") });
    ComboEncoding = combo({ QStringLiteral("UTF-8"), QStringLiteral("Windows-1252") });
    CheckHeader = new QCheckBox(QStringLiteral("&First row holds column names"));
    ComboDateOrder
        = combo({ QStringLiteral("M/D/Y"), QStringLiteral("D/M/Y"), QStringLiteral("Y-M-D") });
    ComboDecimal = combo({ QStringLiteral("Point (.)"), QStringLiteral("Comma (,)") });

    auto *options = new QGridLayout;
    auto add = [options](int row, int col, const QString &text, QWidget *w) {
        auto *label = new QLabel(text);
        label->setBuddy(w);
        options->addWidget(label, row, col * 2);
        options->addWidget(w, row, col * 2 + 1);
    };
    add(0, 0, QStringLiteral("&Delimiter:"), ComboDelimiter);
    add(0, 1, QStringLiteral("&Encoding:"), ComboEncoding);
    add(1, 0, QStringLiteral("Date &order:"), ComboDateOrder);
    add(1, 1, QStringLiteral("Decimal &separator:"), ComboDecimal);
    options->addWidget(CheckHeader, 0, 4);
    options->setColumnStretch(5, 1);

    auto *columns = new QWidget;
    m_columnForm = new QFormLayout(columns);
    auto *scroll = new QScrollArea;
    scroll->setWidget(columns);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_columnScroll = scroll;
    m_columnForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto *columnsBox = new QVBoxLayout;
    columnsBox->addWidget(new QLabel(QStringLiteral("Each column holds:")));
    columnsBox->addWidget(scroll, 1);

    GridSample = rowsView(m_sample);
    auto *sampleLabel = new QLabel(QStringLiteral("&Preview of the first rows:"));
    sampleLabel->setBuddy(GridSample);
    auto *sampleBox = new QVBoxLayout;
    sampleBox->addWidget(sampleLabel);
    sampleBox->addWidget(GridSample, 1);

    auto *lower = new QHBoxLayout;
    lower->addLayout(columnsBox);
    lower->addLayout(sampleBox, 1);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(options);
    layout->addLayout(lower, 1);

    for (QComboBox *box : { ComboDelimiter, ComboEncoding })
        connect(box, &QComboBox::currentIndexChanged, this, [this] { optionsChanged(true); });
    for (QComboBox *box : { ComboDateOrder, ComboDecimal })
        connect(box, &QComboBox::currentIndexChanged, this, [this] { optionsChanged(false); });
    connect(CheckHeader, &QCheckBox::toggled, this, [this] { optionsChanged(true); });
    return page;
}

QWidget *TFrmImport::buildPreviewPage()
{
    auto *page = new QWidget;
    GridRows = rowsView(m_rows);
    GridRows->installEventFilter(this);
    LabelCounts = new QLabel;
    auto *hint = new QLabel(QStringLiteral(
        "Untick the rows to leave out (Space ticks and unticks). A row with a problem starts "
        "unticked; a rule with no equal here is imported only when you tick its nearest rule."));
    hint->setWordWrap(true);
    auto *label = new QLabel(QStringLiteral("&Rows:"));
    label->setBuddy(GridRows);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hint);
    layout->addWidget(label);
    layout->addWidget(GridRows, 1);
    layout->addWidget(LabelCounts);
    return page;
}

QLayout *TFrmImport::buildButtons()
{
    ButtonHelp = new QPushButton(QStringLiteral("&Help"));
    ButtonBack = new QPushButton(QStringLiteral("< &Back"));
    ButtonNext = new QPushButton(QStringLiteral("&Next >"));
    ButtonImport = new QPushButton(QStringLiteral("&Import"));
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
    auto *row = new QHBoxLayout;
    row->addWidget(ButtonHelp);
    row->addStretch(1);
    for (QPushButton *b : { ButtonBack, ButtonNext, ButtonImport, ButtonCancel })
        row->addWidget(b);
    connect(ButtonHelp, &QPushButton::clicked, this,
        [] { Help::open(QStringLiteral("importing.hta")); });
    connect(ButtonBack, &QPushButton::clicked, this, &TFrmImport::BackClick);
    connect(ButtonNext, &QPushButton::clicked, this, &TFrmImport::NextClick);
    connect(ButtonImport, &QPushButton::clicked, this, &TFrmImport::ImportClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    return row;
}

void TFrmImport::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_summary.clear();
    m_plan = ImportPlan();
    m_rows->setPlan(nullptr);
    m_sample->setPlan(nullptr);
    showPage(PageFile);
    EditFile->setFocus();
}

void TFrmImport::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        if (Help::isHelpKey(event))
            Help::open(QStringLiteral("importing.hta"));
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFrmImport::eventFilter(QObject *watched, QEvent *event)
{
    // Space ticks the row wherever in it the cursor stands.
    if (watched == GridRows && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space
        && static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
        const QModelIndex current = GridRows->currentIndex();
        if (current.isValid() && !(current.flags() & Qt::ItemIsUserCheckable)) {
            const QModelIndex tick = m_rows->index(current.row(), ImportRowsModel::Tick);
            if (tick.flags() & Qt::ItemIsEnabled)
                m_rows->setData(tick,
                    tick.data(Qt::CheckStateRole).toInt() == Qt::Checked ? Qt::Unchecked
                                                                         : Qt::Checked,
                    Qt::CheckStateRole);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmImport::showPage(QWidget *page)
{
    Pages->setCurrentWidget(page);
    ButtonBack->setVisible(page != PageFile);
    ButtonNext->setVisible(page != PagePreview);
    ButtonImport->setVisible(page == PagePreview);
    QPushButton *main = page == PagePreview ? ButtonImport : ButtonNext;
    main->setDefault(true);
    showMessage({});
}

void TFrmImport::showMessage(const QString &text)
{
    LabelMessage->setText(text);
    LabelMessage->setVisible(!text.isEmpty());
}

void TFrmImport::NextClick()
{
    if (Pages->currentWidget() == PageFile) {
        if (openFile() && m_delimited)
            ComboDelimiter->setFocus();
    } else if (Pages->currentWidget() == PageMapping) {
        if (readDelimited())
            GridRows->setFocus();
    }
}

void TFrmImport::BackClick()
{
    if (Pages->currentWidget() == PagePreview && m_delimited)
        showPage(PageMapping);
    else
        showPage(PageFile);
}

bool TFrmImport::openFile()
{
    const QString path = EditFile->text().trimmed();
    if (path.isEmpty()) {
        showMessage(QStringLiteral("Choose a file to import."));
        return false;
    }
    QString error;
    QList<SourceSchedule> schedules;
    {
        WorkProgress progress(
            this, QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
        m_bytes = SourceFile::read(path, &error);
        m_name = QFileInfo(path).fileName();
        m_delimited = isTextName(path);
        if (error.isEmpty() && !m_delimited) {
            SourceBook book = Books::readBytes(m_bytes, m_name, std::ref(progress));
            // What no finance program's reader knows may still be delimited text.
            m_delimited = !book.error.isEmpty() && book.format.isEmpty() && !isBookName(path);
            error = m_delimited ? QString() : book.error;
            schedules = std::move(book.schedules);
        }
    }
    if (!error.isEmpty()) {
        showMessage(error);
        return false;
    }
    if (!m_delimited)
        return showRows(schedules);
    m_options = detect(m_bytes);
    controlsFromOptions();
    rebuildColumnCombos();
    showPage(PageMapping);
    refreshSample();
    return true;
}

void TFrmImport::controlsFromOptions()
{
    m_filling = true;
    ComboDelimiter->setCurrentIndex(
        m_options.delimiter == u';' ? 1 : (m_options.delimiter == u'\t' ? 2 : 0));
    ComboEncoding->setCurrentIndex(m_options.encoding == Encoding::Utf8 ? 0 : 1);
    CheckHeader->setChecked(m_options.header);
    ComboDateOrder->setCurrentIndex(int(m_options.dateOrder));
    ComboDecimal->setCurrentIndex(m_options.decimal == u',' ? 1 : 0);
    m_filling = false;
}

void TFrmImport::optionsChanged(bool columnsToo)
{
    if (m_filling)
        return;
    const QChar delimiters[] = { u',', u';', u'\t' };
    const bool layoutChanged = m_options.delimiter != delimiters[ComboDelimiter->currentIndex()]
        || m_options.header != CheckHeader->isChecked();
    m_options.delimiter = delimiters[ComboDelimiter->currentIndex()];
    m_options.encoding
        = ComboEncoding->currentIndex() == 0 ? Encoding::Utf8 : Encoding::Windows1252;
    m_options.header = CheckHeader->isChecked();
    m_options.dateOrder = DateOrder(ComboDateOrder->currentIndex());
    m_options.decimal = ComboDecimal->currentIndex() == 1 ? u',' : u'.';
    if (columnsToo) {
        // Other fields or other names: the pairs are proposed again.
        if (layoutChanged) {
            const Cells cells = split(m_bytes, m_options, SampleRows + 1);
            const QStringList header = m_options.header ? cells.records.value(0) : QStringList();
            m_options.columns = proposeColumns(
                header, m_options.header ? cells.records.mid(1) : cells.records, m_options.header);
        }
        rebuildColumnCombos();
    }
    refreshSample();
}

void TFrmImport::rebuildColumnCombos()
{
    while (m_columnForm->rowCount() > 0)
        m_columnForm->removeRow(0);
    ColumnCombos.clear();
    const Cells cells = split(m_bytes, m_options, 2);
    const QStringList first = cells.records.value(0);
    QStringList titles;
    for (int k = 0; k < ColumnKinds; ++k)
        titles.append(columnTitle(Column(k)));
    QWidget *previous = CheckHeader;
    for (int i = 0; i < m_options.columns.size(); ++i) {
        QString sample = first.value(i).simplified();
        if (sample.size() > 24)
            sample = sample.left(24) + QStringLiteral("…");
        auto *label = new QLabel(QStringLiteral("%1 \"%2\":").arg(i + 1).arg(sample));
        QComboBox *box = combo(titles);
        // Long field names are read in full in the open list.
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(19);
        box->setCurrentIndex(int(m_options.columns[i]));
        label->setBuddy(box);
        m_columnForm->addRow(label, box);
        connect(box, &QComboBox::currentIndexChanged, this, [this, i](int kind) {
            m_options.columns[i] = Column(kind);
            refreshSample();
        });
        setTabOrder(previous, box);
        previous = box;
        ColumnCombos.append(box);
    }
    setTabOrder(previous, GridSample);
    // As wide as the pairs need, the rest to the preview.
    m_columnScroll->setFixedWidth(m_columnForm->parentWidget()->minimumSizeHint().width()
        + m_columnScroll->verticalScrollBar()->sizeHint().width()
        + 2 * m_columnScroll->frameWidth());
}

void TFrmImport::refreshSample()
{
    const Cells cells = split(m_bytes, m_options, SampleRows + (m_options.header ? 1 : 0));
    showMessage(cells.error);
    QList<SourceSchedule> schedules;
    if (cells.error.isEmpty()) {
        // The sample is read as the whole file will be, from its first rows.
        const SourceBook book = read(m_bytes, m_options, {}, SampleRows);
        schedules = book.schedules;
        if (!book.error.isEmpty())
            showMessage(book.error);
    }
    m_samplePlan = ImportPlan();
    m_samplePlan.build(schedules);
    m_sample->setPlan(&m_samplePlan);
    fitColumns(GridSample);
    // What is chosen here is how the file is read, not which rows go in.
    GridSample->setColumnHidden(ImportRowsModel::Tick, true);
    GridSample->setColumnHidden(ImportRowsModel::nearestColumn(), true);
}

bool TFrmImport::readDelimited()
{
    if (!m_options.columns.contains(Column::Description)) {
        showMessage(QStringLiteral("Choose the column that holds the payee."));
        return false;
    }
    SourceBook book;
    {
        WorkProgress progress(this, QStringLiteral("Reading %1...").arg(m_name));
        book = read(m_bytes, m_options, std::ref(progress));
    }
    if (!book.error.isEmpty()) {
        showMessage(book.error);
        return false;
    }
    return showRows(book.schedules);
}

bool TFrmImport::showRows(const QList<SourceSchedule> &schedules)
{
    if (schedules.isEmpty()) {
        showMessage(QStringLiteral("%1 holds no scheduled transactions to import.").arg(m_name));
        return false;
    }
    m_plan = ImportPlan();
    bool built = false;
    QString error;
    {
        WorkProgress progress(this, QStringLiteral("Checking every row..."));
        try {
            m_plan.loadExisting();
            built = m_plan.build(schedules, std::ref(progress));
        } catch (const EngineError &e) {
            error = e.message();
        }
    }
    if (!built) {
        m_plan = ImportPlan();
        showMessage(error);
        return false;
    }
    m_rows->setPlan(&m_plan);
    fitColumns(GridRows);
    showPage(PagePreview);
    GridRows->setCurrentIndex(m_rows->index(0, ImportRowsModel::Tick));
    updateCounts();
    return true;
}

void TFrmImport::updateCounts()
{
    int problems = 0;
    for (const ImportRow &r : m_plan.rows())
        problems += r.problems.isEmpty() ? 0 : 1;
    const int ticked = m_plan.tickedCount();
    LabelCounts->setText(QStringLiteral("%1 rows: %2 to import, %3 with problems.")
                             .arg(m_plan.rows().size())
                             .arg(ticked)
                             .arg(problems));
    ButtonImport->setEnabled(ticked > 0);
}

void TFrmImport::ImportClick()
{
    if (m_plan.tickedCount() == 0)
        return;
    QString summary;
    QString failure;
    {
        WorkProgress progress(this, QStringLiteral("Importing..."));
        try {
            summary = m_plan.commit(std::ref(progress));
        } catch (const std::exception &e) {
            const auto *engine = dynamic_cast<const EngineError *>(&e);
            failure = engine ? engine->message() : QString::fromUtf8(e.what());
        }
    }
    if (!failure.isEmpty()) {
        Messages::current().error(QStringLiteral("Nothing was imported. %1").arg(failure));
        return;
    }
    if (summary.isEmpty()) // cancelled: nothing was written
        return;
    m_summary = summary;
    Messages::current().announce(summary);
    accept();
}
