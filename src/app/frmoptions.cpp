#include "frmoptions.h"

#include "dialogs/dialogsupport.h"
#include "dialogs/keypreview.h"
#include "domain/options.h"
#include "platform/desktop.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

DaysBox::DaysBox(QWidget *parent)
    : QSpinBox(parent)
{
    setRange(0, Options::MaxDays);
    // The value is read when the box is left, not at every key.
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QValidator::State DaysBox::validate(QString &text, int &) const
{
    // Anything short may be typed; leaving the box makes a number of it.
    return text.size() <= 10 ? QValidator::Acceptable : QValidator::Invalid;
}

int DaysBox::valueFromText(const QString &text) const
{
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    return ok ? int(std::clamp<qlonglong>(n, minimum(), maximum())) : 0;
}

void DaysBox::fixup(QString &text) const
{
    text = QString::number(valueFromText(text));
}

TFrmOptions::TFrmOptions(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , CheckBoxDisplayReminder(
          new QCheckBox(QStringLiteral("Display overdue items when program starts"), this))
    , CheckBoxConfirmExit(
          new QCheckBox(QStringLiteral("Confirm before allowing program to close"), this))
    , CheckBoxBackupReminder(
          new QCheckBox(QStringLiteral("Reminder to backup files before closing"), this))
    , SpinEditDefaultWarn(new DaysBox(this))
    , SpinEditAgingInterval(new DaysBox(this))
    , ButtonOK(new QPushButton(QStringLiteral("OK"), this))
    , ButtonCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("FrmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    CheckBoxDisplayReminder->setObjectName(QStringLiteral("CheckBoxDisplayReminder"));
    CheckBoxConfirmExit->setObjectName(QStringLiteral("CheckBoxConfirmExit"));
    CheckBoxBackupReminder->setObjectName(QStringLiteral("CheckBoxBackupReminder"));
    SpinEditDefaultWarn->setObjectName(QStringLiteral("SpinEditDefaultWarn"));
    SpinEditAgingInterval->setObjectName(QStringLiteral("SpinEditAgingInterval"));
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));

    QGridLayout *numbers = makeDayBoxes();
    QGroupBox *titles = makeTitleEdits();

    ButtonOK->setDefault(true);
    ButtonCancel->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(6);
    layout->addWidget(CheckBoxDisplayReminder);
    layout->addWidget(CheckBoxConfirmExit);
    layout->addWidget(CheckBoxBackupReminder);
    layout->addSpacing(6);
    layout->addLayout(numbers);
    layout->addSpacing(6);
    layout->addWidget(titles);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setFixedSize(layout->sizeHint());

    // Tab follows the window from top to bottom; the buttons were created before the titles.
    QWidget *previous = SpinEditAgingInterval;
    for (QWidget *next : std::initializer_list<QWidget *>{
             UserTitle[0], UserTitle[1], UserTitle[2], UserTitle[3], ButtonOK, ButtonCancel }) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(ButtonOK, &QPushButton::clicked, this, &TFrmOptions::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    new KeyPreview(this, [this](QKeyEvent *event) { return previewKey(event); });
}

// The two day counts, each with its caption and unit.
QGridLayout *TFrmOptions::makeDayBoxes()
{
    auto *numbers = new QGridLayout;
    numbers->setHorizontalSpacing(6);
    auto addNumber = [&](int row, const QString &caption, DaysBox *box) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(box);
        box->setFixedWidth(56);
        box->setAlignment(Qt::AlignRight);
        numbers->addWidget(label, row, 0);
        numbers->addWidget(box, row, 1);
        numbers->addWidget(new QLabel(QStringLiteral("Days"), this), row, 2);
    };
    addNumber(0, QStringLiteral("Default Warning Days for New Records...."), SpinEditDefaultWarn);
    addNumber(1,
        QStringLiteral("Aging Interval (Used in Due Date Aging Summary) "
                       ".................................................."),
        SpinEditAgingInterval);
    numbers->setColumnStretch(3, 1);
    return numbers;
}

QGroupBox *TFrmOptions::makeTitleEdits()
{
    auto *titles = new QGroupBox(QStringLiteral("User Field Column Titles"), this);
    auto *titleGrid = new QGridLayout(titles);
    for (int n = 0; n < 4; ++n) {
        auto *edit = new QLineEdit(titles);
        edit->setObjectName(QStringLiteral("UserTitle%1").arg(n + 1));
        edit->setMaxLength(Options::TitleLength);
        edit->setFixedWidth(200);
        UserTitle[std::size_t(n)] = edit;
        auto *label = new QLabel(QStringLiteral("User Field %1:").arg(n + 1), titles);
        label->setBuddy(edit);
        titleGrid->addWidget(label, n, 0);
        titleGrid->addWidget(edit, n, 1);
    }
    titleGrid->setColumnStretch(2, 1);
    return titles;
}

void TFrmOptions::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    DialogSupport::centreOnScreen(this);
    FormActivate();
}

void TFrmOptions::FormActivate()
{
    const Options &options = OptionsStore::current();
    // The titles the lists show are the user's titles of the options.
    for (std::size_t n = 0; n < UserTitle.size(); ++n)
        UserTitle[n]->setText(options.userTitles[n].left(Options::TitleLength));
    SpinEditDefaultWarn->setValue(options.defaultWarn);
    SpinEditAgingInterval->setValue(options.agingInterval);
    CheckBoxDisplayReminder->setChecked(options.displayReminder);
    CheckBoxConfirmExit->setChecked(options.confirmExit);
    CheckBoxBackupReminder->setChecked(options.backupReminder);
    CheckBoxDisplayReminder->setFocus();
}

void TFrmOptions::ButtonOKClick()
{
    // A number still being typed counts as if its box had been left.
    SpinEditDefaultWarn->interpretText();
    SpinEditAgingInterval->interpretText();
    OptionsStore::instance().update([this](Options &o) {
        for (std::size_t n = 0; n < UserTitle.size(); ++n)
            o.userTitles[n] = UserTitle[n]->text();
        o.defaultWarn = SpinEditDefaultWarn->value();
        o.agingInterval = SpinEditAgingInterval->value();
        o.displayReminder = CheckBoxDisplayReminder->isChecked();
        o.confirmExit = CheckBoxConfirmExit->isChecked();
        o.backupReminder = CheckBoxBackupReminder->isChecked();
    });
    accept();
}

bool TFrmOptions::previewKey(QKeyEvent *event)
{
    if (event->key() != Qt::Key_F1)
        return false;
    if (Help::isHelpKey(event))
        Help::open(QStringLiteral("options_screen.hta"));
    return true;
}
