#include "frmbackup.h"

#include "app/formstorage.h"
#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/windows.h"
#include "data/backuprestore.h"
#include "data/engineerror.h"
#include "data/tablefiles.h"
#include "dialogs/dialogsupport.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

namespace {
// The busy pointer for a long copy, and a progress window once it has taken
// more than half a second.
class WorkProgress
{
public:
    WorkProgress(QWidget *owner, const QString &label)
        : m_owner(owner)
        , m_label(label)
    {
        m_clock.start();
        m_sinceUpdate.start();
    }

    void operator()(qint64 done, qint64 total)
    {
        if (m_sinceUpdate.elapsed() < 50)
            return;
        m_sinceUpdate.restart();
        if (!m_dialog && m_clock.elapsed() >= 500) {
            m_dialog = std::make_unique<QProgressDialog>(m_label, QString(), 0, 1000, m_owner);
            m_dialog->setWindowTitle(QStringLiteral("Duesmith"));
            m_dialog->setCancelButton(nullptr);
            m_dialog->setWindowModality(Qt::WindowModal);
            m_dialog->setMinimumDuration(0);
            m_dialog->setAutoClose(false);
            m_dialog->setAutoReset(false);
            m_dialog->show();
        }
        if (m_dialog)
            m_dialog->setValue(total > 0 ? int(qMin<qint64>(1000, done * 1000 / total)) : 0);
    }
    bool shown() const { return m_dialog != nullptr; }

private:
    QWidget *m_owner;
    QString m_label;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceUpdate;
    std::unique_ptr<QProgressDialog> m_dialog;
};

QString systemChooseDirectory(QWidget *parent, const QString &start)
{
    // Qt's own folder dialog has a button for a new folder, named before it is made.
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Select Directory"), start,
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}
} // namespace

TFrmBackup::TFrmBackup(QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , chooseDirectory(&systemChooseDirectory)
{
    setObjectName(QStringLiteral("FrmBackup"));
    setWindowTitle(QStringLiteral("Backup/Restore"));
    setModal(true);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    QList<QCheckBox *> backups, restores;
    TabSheetBackup = buildPage(QStringLiteral("&Select destination directory for the backup:  "),
        DirectoryEdit1, BrowseBtn1,
        { QStringLiteral("Backup Current Records"), QStringLiteral("Backup History Records"),
            QStringLiteral("Backup Memorized Payee List") },
        backups, OKBtn, CancelBtn, QStringLiteral("Back"));
    TabSheetRestore = buildPage(QStringLiteral("&Select source directory to restore from:  "),
        DirectoryEdit2, BrowseBtn2,
        { QStringLiteral("Restore Current Records"), QStringLiteral("Restore History Records"),
            QStringLiteral("Restore Memorized Payee List") },
        restores, ButtonRestoreOK, ButtonCancelOK, QStringLiteral("Rest"));
    TabSheetBackup->setObjectName(QStringLiteral("TabSheetBackup"));
    TabSheetRestore->setObjectName(QStringLiteral("TabSheetRestore"));
    DirectoryEdit1->setObjectName(QStringLiteral("DirectoryEdit1"));
    DirectoryEdit2->setObjectName(QStringLiteral("DirectoryEdit2"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    ButtonRestoreOK->setObjectName(QStringLiteral("ButtonRestoreOK"));
    ButtonCancelOK->setObjectName(QStringLiteral("ButtonCancelOK"));
    CheckBoxBackSched = backups[0];
    CheckBoxBackHist = backups[1];
    CheckBoxBackPayee = backups[2];
    CheckBoxRestSched = restores[0];
    CheckBoxRestHist = restores[1];
    CheckBoxRestPayee = restores[2];
    PageControl1->addTab(TabSheetBackup, QStringLiteral("Backup"));
    PageControl1->addTab(TabSheetRestore, QStringLiteral("Restore"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(PageControl1);
    setFixedSize(QSize(440, 250).expandedTo(layout->sizeHint()));

    connect(OKBtn, &QPushButton::clicked, this, &TFrmBackup::OkBtnClick);
    connect(ButtonRestoreOK, &QPushButton::clicked, this, &TFrmBackup::ButtonRestoreOKClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonCancelOK, &QPushButton::clicked, this, &QDialog::reject);
    connect(BrowseBtn1, &QToolButton::clicked, this, [this] { browse(DirectoryEdit1); });
    connect(BrowseBtn2, &QToolButton::clicked, this, [this] { browse(DirectoryEdit2); });
    connect(DirectoryEdit1, &QLineEdit::textChanged, this, &TFrmBackup::updateButtons);
    connect(DirectoryEdit2, &QLineEdit::textChanged, this, &TFrmBackup::updateButtons);
    // Enter presses the OK button of the page on top.
    connect(PageControl1, &QTabWidget::currentChanged, this,
        [this](int page) { (page == 0 ? OKBtn : ButtonRestoreOK)->setDefault(true); });
    OKBtn->setDefault(true);

    m_storage = new FormStorage(this, QStringLiteral("TFrmBackup"), FormStorage::Placement());
    m_storage->addProperty(DirectoryEdit1, QStringLiteral("DirectoryEdit1"));
    m_storage->addProperty(DirectoryEdit2, QStringLiteral("DirectoryEdit2"));
    m_storage->attach();
    updateButtons();
}

TFrmBackup::~TFrmBackup() = default;

QWidget *TFrmBackup::buildPage(const QString &label, QLineEdit *&edit, QToolButton *&browse,
    const QStringList &boxes, QList<QCheckBox *> &checks, QPushButton *&ok, QPushButton *&cancel,
    const QString &prefix)
{
    auto *page = new QWidget;
    auto *caption = new QLabel(label, page);
    edit = new QLineEdit(page);
    caption->setBuddy(edit);
    browse = new QToolButton(page);
    browse->setObjectName(QStringLiteral("Browse") + prefix);
    browse->setText(QStringLiteral("..."));
    browse->setToolTip(QStringLiteral("Browse"));
    auto *row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(edit, 1);
    row->addWidget(browse);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addWidget(caption);
    layout->addLayout(row);
    layout->addSpacing(8);
    static const char *const names[] = { "Sched", "Hist", "Payee" };
    for (int i = 0; i < boxes.size(); ++i) {
        auto *box = new QCheckBox(boxes[i], page);
        box->setObjectName(QStringLiteral("CheckBox") + prefix + QLatin1String(names[i]));
        box->setChecked(true);
        layout->addWidget(box);
        checks.append(box);
    }
    layout->addStretch(1);
    ok = new QPushButton(QStringLiteral("OK"), page);
    cancel = new QPushButton(QStringLiteral("Cancel"), page);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    return page;
}

QString TFrmBackup::defaultDirectory()
{
    return QDir::homePath() + QStringLiteral("/Backup/Duesmith/");
}

void TFrmBackup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    PageControl1->setCurrentIndex(0);
    fillEmptyInputs();
    DialogSupport::centreOnScreen(this);
}

void TFrmBackup::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        fillEmptyInputs();
}

void TFrmBackup::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        if (Help::isHelpKey(event))
            Help::open(QStringLiteral("backuprestore_screen.hta"));
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmBackup::fillEmptyInputs()
{
    for (QLineEdit *edit : { DirectoryEdit1, DirectoryEdit2 })
        if (edit->text().isEmpty() || edit->text() == QLatin1String(" "))
            edit->setText(defaultDirectory());
}

void TFrmBackup::updateButtons()
{
    OKBtn->setEnabled(!DirectoryEdit1->text().isEmpty());
    ButtonRestoreOK->setEnabled(!DirectoryEdit2->text().isEmpty());
}

void TFrmBackup::browse(QLineEdit *edit)
{
    // The dialog opens on the nearest folder of the text that exists.
    QString start = QDir::cleanPath(edit->text().trimmed());
    while (!start.isEmpty() && !QFileInfo(start).isDir()) {
        const QString up = QFileInfo(start).path();
        start = up == start ? QString() : up;
    }
    const QString chosen = chooseDirectory(this, start.isEmpty() ? QDir::homePath() : start);
    if (chosen.isEmpty())
        return;
    edit->setText(chosen.endsWith(QLatin1Char('/')) ? chosen : chosen + QLatin1Char('/'));
}

QString TFrmBackup::normalise(QLineEdit *edit)
{
    QString text = edit->text().trimmed();
    edit->setText(text);
    if (!text.endsWith(QLatin1Char('/'))) {
        text += QLatin1Char('/');
        edit->setText(text);
    }
    return text;
}

bool TFrmBackup::isProgramDirectory(const QString &dir) const
{
    const QString program = QFileInfo(Help::programFolder()).canonicalFilePath();
    const QString given = QFileInfo(dir).canonicalFilePath();
    return !given.isEmpty() && given == program;
}

void TFrmBackup::OkBtnClick()
{
    BusyPointer::set(true);
    const QString dir = normalise(DirectoryEdit1);
    if (isProgramDirectory(dir)) {
        BusyPointer::set(false);
        Messages::current().inform(
            QStringLiteral("The destination for backup cannot be the Duesmith program directory. "
                           "Please select another destination for your backup."));
        return;
    }
    // Without the separator, so that a file of that name is seen as one.
    const QFileInfo folder(QDir::cleanPath(dir));
    if (folder.exists() && !folder.isDir()) {
        BusyPointer::set(false);
        Messages::current().inform(
            QStringLiteral("%1 is a file, not a directory. Please select another destination "
                           "for your backup.")
                .arg(QDir::toNativeSeparators(QDir::cleanPath(dir))));
        return;
    }
    if (!folder.exists()
        && Messages::current().confirmYesNo(
            QStringLiteral("Directory does not exist. Would you like to create it?"))
        && !QDir().mkpath(dir))
        Messages::current().warn(QStringLiteral("Cannot create directory"));

    QStringList files;
    if (CheckBoxBackSched->isChecked())
        files.append(TableFiles::Schedule);
    if (CheckBoxBackHist->isChecked())
        files.append(TableFiles::History);
    if (CheckBoxBackPayee->isChecked())
        files.append(TableFiles::Payee);
    if (!QFileInfo(dir).isDir() || files.isEmpty()) {
        BusyPointer::set(false);
        return;
    }
    try {
        WorkProgress progress(this, QStringLiteral("Backing up your Duesmith files..."));
        BackupRestore::backup(files, dir, std::ref(progress));
    } catch (const EngineError &e) {
        BusyPointer::set(false);
        Messages::current().error(e.message());
        return;
    }
    BusyPointer::set(false);
    Messages::current().announce(QStringLiteral("Backup Complete.        "));
    accept();
}

void TFrmBackup::ButtonRestoreOKClick()
{
    BusyPointer::set(true);
    const QString dir = normalise(DirectoryEdit2);
    if (isProgramDirectory(dir)) {
        BusyPointer::set(false);
        Messages::current().inform(
            QStringLiteral("The source for restore cannot be the current program directory. "
                           "Please select another source directory for your restore."));
        return;
    }
    if (!QFileInfo(dir).isDir()) {
        BusyPointer::set(false);
        Messages::current().inform(
            QStringLiteral("Directory does not exist. Please select another directory."));
        return;
    }
    QStringList files;
    if (CheckBoxRestSched->isChecked())
        files.append(TableFiles::Schedule);
    if (CheckBoxRestHist->isChecked())
        files.append(TableFiles::History);
    if (CheckBoxRestPayee->isChecked())
        files.append(TableFiles::Payee);
    if (files.isEmpty()) {
        BusyPointer::set(false);
        return;
    }
    TfrmSched *main = Windows::frmSched;
    const bool schedule = files.contains(TableFiles::Schedule);
    if (main && schedule)
        main->flushAgingWrites();
    QString failure;
    try {
        WorkProgress progress(this, QStringLiteral("Restoring your Duesmith files..."));
        BackupRestore::restore(files, dir, std::ref(progress));
    } catch (const std::exception &e) {
        const auto *engine = dynamic_cast<const EngineError *>(&e);
        failure = engine ? engine->message() : QString::fromUtf8(e.what());
    }
    // The main window read the tables before: after a restore its list and
    // every summary are read again in full, and the payee pick list too. After
    // a failure nothing changed, but its list was closed and opened again.
    if (main && failure.isEmpty()) {
        if (schedule)
            main->refreshAfterPayment();
        if (files.contains(TableFiles::Payee))
            main->LoadPayeePickList();
    } else if (main && schedule) {
        main->DBGridSched->syncFromTable();
    }
    BusyPointer::set(false);
    if (!failure.isEmpty()) {
        Messages::current().error(failure);
        return;
    }
    Messages::current().announce(QStringLiteral("Restore Complete.        "));
    accept();
}
