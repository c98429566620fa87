#include "desttabledlg.h"

#include "formstorage.h"

#include "data/destination.h"
#include "data/table.h"
#include "data/tableexport.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/installpaths.h"
#include "platform/messages.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include <QElapsedTimer>

#include <algorithm>
#include <climits>
#include <exception>
#include <functional>
#include <memory>

namespace {
const QString HelpPage = QStringLiteral("export_screen.hta");

const QStringList &browseFilters()
{
    static const QStringList filters
        = { QStringLiteral("Paradox files (*.db)"), QStringLiteral("DBase files (*.dbf)"),
              QStringLiteral("ASCII files (*.txt)"), QStringLiteral("All files (*.*)") };
    return filters;
}

QString typeExtension(int type)
{
    return TableExport::extension(TableExport::Type(type));
}

// The name with its extension replaced (or added); folders may hold dots.
QString withExtension(const QString &name, const QString &extension)
{
    const int slash
        = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QDir::separator()));
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > slash + 1 ? name.left(dot) : name) + extension;
}

QString defaultFolder()
{
    return InstallPaths::documentsFolder();
}
} // namespace

TDestTableDlg::TDestTableDlg(QWidget *parent)
    : QDialog(parent)
    , TabnameEdit(new QLineEdit)
    , BrowseBtn(new QToolButton)
    , ParadoxBtn(new QRadioButton(QStringLiteral("  &Paradox  ")))
    , DBaseBtn(new QRadioButton(QStringLiteral("  &DBase  ")))
    , AsciiBtn(new QRadioButton(QStringLiteral("  &ASCII")))
    , AllRecsBtn(new QRadioButton(QStringLiteral(" &All records")))
    , FirstRecsBtn(new QRadioButton(QStringLiteral(" &First ")))
    , RecordCntEdit(new QLineEdit)
    , TypeBtn(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("DestTableDlg"));
    setWindowTitle(QStringLiteral("Export"));

    TabnameEdit->setObjectName(QStringLiteral("TabnameEdit"));
    TabnameEdit->setMinimumWidth(320);
    auto *nameLabel = new QLabel(QStringLiteral("&Select destination table:  "));
    nameLabel->setBuddy(TabnameEdit);
    BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
    BrowseBtn->setText(QStringLiteral("..."));
    BrowseBtn->setToolTip(QStringLiteral("Browse files"));
    BrowseBtn->setFocusPolicy(Qt::StrongFocus);
    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(TabnameEdit, 1);
    nameRow->addWidget(BrowseBtn);

    QGroupBox *typeBox = buildTypeBox();
    QGroupBox *countBox = buildCountBox();

    auto *buttons = new QDialogButtonBox;
    OKBtn = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    CancelBtn = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    OKBtn->setDefault(true);
    OKBtn->setEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(nameLabel);
    layout->addLayout(nameRow);
    layout->addWidget(typeBox);
    layout->addWidget(countBox);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(TabnameEdit, &QLineEdit::textChanged, this,
        [this](const QString &text) { OKBtn->setEnabled(!text.isEmpty()); });
    connect(BrowseBtn, &QToolButton::clicked, this, &TDestTableDlg::browse);
    connect(TypeBtn, &QButtonGroup::idClicked, this, &TDestTableDlg::typeChosen);
    connect(AllRecsBtn, &QRadioButton::toggled, this, &TDestTableDlg::countChoiceChanged);
    connect(FirstRecsBtn, &QRadioButton::clicked, this, [this] {
        RecordCntEdit->setFocus();
        if (TabnameEdit->text().isEmpty())
            TabnameEdit->setFocus();
    });
    connect(OKBtn, &QPushButton::clicked, this, &TDestTableDlg::okClicked);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    keepChoices();
    m_storage->restore();
    countChoiceChanged();
}

QGroupBox *TDestTableDlg::buildTypeBox()
{
    auto *typeBox = new QGroupBox(QStringLiteral(" &Table Type "));
    typeBox->setObjectName(QStringLiteral("TypeBtn"));
    auto *typeRow = new QHBoxLayout(typeBox);
    ParadoxBtn->setObjectName(QStringLiteral("ParadoxBtn"));
    DBaseBtn->setObjectName(QStringLiteral("DBaseBtn"));
    AsciiBtn->setObjectName(QStringLiteral("AsciiBtn"));
    TypeBtn->addButton(ParadoxBtn, Paradox);
    TypeBtn->addButton(DBaseBtn, DBase);
    TypeBtn->addButton(AsciiBtn, Ascii);
    for (QRadioButton *b : { ParadoxBtn, DBaseBtn, AsciiBtn })
        typeRow->addWidget(b);
    typeRow->addStretch(1);
    ParadoxBtn->setChecked(true);
    return typeBox;
}

QGroupBox *TDestTableDlg::buildCountBox()
{
    auto *countBox = new QGroupBox(QStringLiteral(" &Record count to export "));
    auto *countGrid = new QGridLayout(countBox);
    AllRecsBtn->setObjectName(QStringLiteral("AllRecsBtn"));
    FirstRecsBtn->setObjectName(QStringLiteral("FirstRecsBtn"));
    RecordCntEdit->setObjectName(QStringLiteral("RecordCntEdit"));
    RecordCntEdit->setMaxLength(10);
    RecordCntEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*")), RecordCntEdit));
    RecordCntEdit->setFixedWidth(
        RecordCntEdit->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16);
    auto *countLabel = new QLabel(QStringLiteral("records from current position  "));
    countGrid->addWidget(AllRecsBtn, 0, 0, 1, 3);
    countGrid->addWidget(FirstRecsBtn, 1, 0);
    countGrid->addWidget(RecordCntEdit, 1, 1);
    countGrid->addWidget(countLabel, 1, 2);
    countGrid->setColumnStretch(3, 1);
    AllRecsBtn->setChecked(true);
    return countBox;
}

// The type, the count and the last folder are kept from one export to the next.
void TDestTableDlg::keepChoices()
{
    m_storage = std::make_unique<FormStorage>(
        this, QStringLiteral("TDestTableDlg"), FormStorage::Placement(FormStorage::Position));
    m_storage->addProperty(
        QStringLiteral("TypeBtn_ItemIndex"), [this] { return QString::number(type() - 1); },
        [this](const QString &text) {
            bool ok = false;
            const int index = text.toInt(&ok);
            if (!ok || index < 0 || index > 2)
                return false;
            setType(index + 1);
            return true;
        });
    m_storage->addProperty(
        QStringLiteral("TabnameEdit_InitialDir"), [this] { return m_initialDir; },
        [this](const QString &text) {
            m_initialDir = text;
            return true;
        });
    m_storage->addProperty(AllRecsBtn, QStringLiteral("AllRecsBtn"));
    m_storage->addProperty(FirstRecsBtn, QStringLiteral("FirstRecsBtn"));
    m_storage->addProperty(RecordCntEdit, QStringLiteral("RecordCntEdit"));
}

TDestTableDlg::~TDestTableDlg() = default;

bool TDestTableDlg::execute(
    const QString &proposedName, int type, int count, Choice &choice, QWidget *parent)
{
    TDestTableDlg dialog(parent);
    if (type >= Paradox && type <= Ascii)
        dialog.setType(type);
    if (count > 0) {
        dialog.FirstRecsBtn->setChecked(true);
        dialog.RecordCntEdit->setText(QString::number(count));
    }
    dialog.propose(proposedName);
    NormalPointerWhile normal;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice = dialog.choice();
    return true;
}

void TDestTableDlg::propose(const QString &proposedName)
{
    const QString folder = m_initialDir.isEmpty() ? defaultFolder() : m_initialDir;
    const QString name = QDir::toNativeSeparators(
        QDir(folder).filePath(withExtension(proposedName, typeExtension(type()))));
    if (TabnameEdit->text() != name)
        TabnameEdit->setText(name);
}

int TDestTableDlg::type() const
{
    return std::max(int(Paradox), TypeBtn->checkedId());
}

void TDestTableDlg::setType(int type)
{
    if (QAbstractButton *button = TypeBtn->button(type))
        button->setChecked(true);
}

void TDestTableDlg::typeChosen()
{
    const QString name = TabnameEdit->text();
    if (!name.isEmpty())
        TabnameEdit->setText(withExtension(name, typeExtension(type())));
}

void TDestTableDlg::countChoiceChanged()
{
    const bool first = FirstRecsBtn->isChecked();
    RecordCntEdit->setEnabled(first);
    // Without a count the box takes the dialog's colour, text included, so
    // the count it keeps is not seen.
    QPalette palette = this->palette();
    if (!first) {
        const QColor face = palette.color(QPalette::Window);
        palette.setColor(QPalette::Disabled, QPalette::Base, face);
        palette.setColor(QPalette::Disabled, QPalette::Text, face);
    }
    RecordCntEdit->setPalette(palette);
}

void TDestTableDlg::browse()
{
    QFileDialog dialog(this, QStringLiteral("Browse files"),
        m_initialDir.isEmpty() ? defaultFolder() : m_initialDir);
    dialog.setObjectName(QStringLiteral("BrowseFiles"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(browseFilters());
    dialog.selectNameFilter(browseFilters().value(type() - 1));
    dialog.setDefaultSuffix(QStringLiteral("DB"));
    if (!TabnameEdit->text().isEmpty())
        dialog.selectFile(QFileInfo(TabnameEdit->text()).fileName());
    m_browse = &dialog;
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    m_browse = nullptr;
    if (!chosen)
        return;
    const QString file = dialog.selectedFiles().constFirst();
    m_initialDir = QFileInfo(file).absolutePath();
    TabnameEdit->setText(QDir::toNativeSeparators(file));
    // The file's own extension picks the type; the name stays as chosen.
    const QString suffix = QFileInfo(file).suffix();
    if (suffix.compare(QLatin1String("DB"), Qt::CaseInsensitive) == 0)
        setType(Paradox);
    else if (suffix.compare(QLatin1String("DBF"), Qt::CaseInsensitive) == 0)
        setType(DBase);
    else if (suffix.compare(QLatin1String("CSV"), Qt::CaseInsensitive) == 0)
        setType(Ascii);
}

QString TDestTableDlg::destination() const
{
    const QString name = QDir::fromNativeSeparators(TabnameEdit->text());
    if (QDir::isAbsolutePath(name))
        return QDir::cleanPath(name);
    return QDir::cleanPath(
        QDir(m_initialDir.isEmpty() ? defaultFolder() : m_initialDir).filePath(name));
}

TDestTableDlg::Choice TDestTableDlg::choice() const
{
    Choice c;
    c.fileName = TabnameEdit->text();
    c.path = destination();
    c.type = type();
    if (FirstRecsBtn->isChecked()) {
        bool ok = false;
        const qlonglong count = RecordCntEdit->text().toLongLong(&ok);
        c.count = ok && count > 0 ? int(std::min<qlonglong>(count, INT_MAX)) : 0;
    }
    return c;
}

void TDestTableDlg::okClicked()
{
    if (TabnameEdit->text().isEmpty())
        return;
    const QString file = TableExport::mainFile(TableExport::Type(type()), destination());
    for (const QString &written :
        { file, TableExport::companionFile(TableExport::Type(type()), file) })
        if (const QString why = Destination::refusal(written); !why.isEmpty()) {
            Messages::current().error(why);
            return;
        }
    const QFileInfo info(file);
    if (info.exists() && !info.isDir()) {
        const QString shown = QFileInfo(destination()) == info ? TabnameEdit->text()
                                                               : QDir::toNativeSeparators(file);
        if (!Messages::current().confirmYesNo(
                QStringLiteral("File %1 already exists. Do you want to replace it?").arg(shown)))
            return;
    }
    accept();
}

void TDestTableDlg::done(int result)
{
    m_storage->save();
    QDialog::done(result);
}

void TDestTableDlg::keyPressEvent(QKeyEvent *event)
{
    if (Help::isHelpKey(event)) {
        Help::open(HelpPage);
        return;
    }
    QDialog::keyPressEvent(event);
}

namespace {
// Keeps the windows drawn during an export and, once it has taken half a
// second, shows how far it got with a Cancel button. Until then the user's
// input waits, so nothing can change the rows being written.
class ExportProgress
{
public:
    explicit ExportProgress(QWidget *parent)
        : m_parent(parent)
    {
        m_started.start();
        m_lastEvents.start();
    }
    ~ExportProgress()
    {
        if (m_dialog)
            BusyPointer::set(m_wasBusy);
    }
    ExportProgress(const ExportProgress &) = delete;
    ExportProgress &operator=(const ExportProgress &) = delete;

    bool operator()(qint64 done, qint64 total)
    {
        if (m_lastEvents.elapsed() < EventsEveryMs)
            return true;
        m_lastEvents.restart();
        if (!m_dialog && m_started.elapsed() >= ShowAfterMs)
            show();
        if (!m_dialog) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return true;
        }
        m_dialog->setValue(total > 0 ? int(std::min(done, total) * Steps / total) : 0);
        QCoreApplication::processEvents();
        return !m_dialog->wasCanceled();
    }

private:
    static constexpr qint64 ShowAfterMs = 500;
    static constexpr qint64 EventsEveryMs = 50;
    static constexpr int Steps = 1000;

    void show()
    {
        m_dialog = std::make_unique<QProgressDialog>(QStringLiteral("Exporting the records..."),
            QStringLiteral("Cancel"), 0, Steps, m_parent);
        m_dialog->setObjectName(QStringLiteral("ExportProgress"));
        m_dialog->setWindowTitle(QStringLiteral("Export"));
        // Modal to the whole program: no window may change the table meanwhile.
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_wasBusy = BusyPointer::isBusy();
        BusyPointer::set(false); // the arrow, for the Cancel button
        m_dialog->show();
    }

    QWidget *m_parent;
    QElapsedTimer m_started;
    QElapsedTimer m_lastEvents;
    std::unique_ptr<QProgressDialog> m_dialog;
    bool m_wasBusy = false;
};
} // namespace

void ExportCurrentTable::run(Table &table, QWidget *parent)
{
    const QString proposed = table.fileName().isEmpty() ? QStringLiteral("Query")
                                                        : QFileInfo(table.fileName()).fileName();
    TDestTableDlg::Choice choice;
    if (!TDestTableDlg::execute(proposed, 0, 0, choice, parent))
        return;
    TableExport::Request request;
    request.fileName = choice.path;
    request.type = TableExport::Type(choice.type);
    request.count = choice.count;
    request.first = choice.count > 0 ? std::max(0, table.currentRow()) : 0;
    TableExport::Result result;
    BusyPointer::set(true);
    try {
        ExportProgress progress(parent);
        result = TableExport::run(table, request, std::ref(progress));
    } catch (const std::exception &e) {
        BusyPointer::set(false);
        Messages::current().error(QString::fromUtf8(e.what()));
        return;
    }
    BusyPointer::set(false);
    if (result.cancelled)
        return;
    QString text = QStringLiteral("Table %1 successfully created.").arg(choice.fileName);
    if (choice.count > 0 && result.records < choice.count)
        text += QStringLiteral("\n\n%1 records were asked for, but only %2 followed from the "
                               "current record; those were exported.")
                    .arg(choice.count)
                    .arg(result.records);
    Messages::current().inform(text);
    if (result.changedValues > 0)
        Messages::current().warn(
            (result.changedValues == 1
                    ? QStringLiteral("One exported value")
                    : QStringLiteral("%1 exported values").arg(result.changedValues))
            + QStringLiteral(" could not be stored exactly in the new table and %1 changed: "
                             "characters that its code page (Windows-1252) lacks were written as "
                             "\"?\".")
                  .arg(result.changedValues == 1 ? QStringLiteral("was") : QStringLiteral("were")));
    if (result.blankedValues > 0)
        Messages::current().warn(
            (result.blankedValues == 1
                    ? QStringLiteral("One value of -32768 was")
                    : QStringLiteral("%1 values of -32768 were").arg(result.blankedValues))
            + QStringLiteral(" written blank: a Paradox small integer cannot hold -32768, "
                             "whose bytes mean blank."));
}
