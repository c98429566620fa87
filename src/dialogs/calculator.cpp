#include "calculator.h"

#include "dialogsupport.h"

#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cmath>

namespace {
QPointer<Calculator> sharedCalculator;

// Beyond this the display could no longer show every typed digit exactly.
constexpr int maxDigits = 15;

QLocale displayLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

double apply(double left, Calculator::Operation operation, double right)
{
    switch (operation) {
    case Calculator::Operation::Add:
        return left + right;
    case Calculator::Operation::Subtract:
        return left - right;
    case Calculator::Operation::Multiply:
        return left * right;
    case Calculator::Operation::Divide:
        // inf or nan, reported as an error by the caller
        return right == 0 ? std::nan("") : left / right;
    case Calculator::Operation::None:
        break;
    }
    return right;
}
} // namespace

Calculator::Calculator(QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("RxCalculator1"));
    setWindowTitle(QStringLiteral("MF Calculator"));

    makeDisplay();
    QGridLayout *keys = makeKeys();
    QHBoxLayout *buttons = makeButtons();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_display);
    layout->addLayout(keys);
    layout->addLayout(buttons);

    connectKeys();
    pressClear();
    setFixedSize(sizeHint());
}

void Calculator::makeDisplay()
{
    m_display = new QLabel(this);
    m_display->setObjectName(QStringLiteral("Display"));
    m_display->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_display->setAutoFillBackground(true);
    m_display->setMinimumHeight(28);
    m_display->setMargin(3);
    QPalette displayPalette = m_display->palette();
    displayPalette.setColor(QPalette::Window, Qt::white);
    displayPalette.setColor(QPalette::WindowText, Qt::black);
    m_display->setPalette(displayPalette);
    QFont displayFont = m_display->font();
    displayFont.setPixelSize(16);
    displayFont.setBold(true);
    m_display->setFont(displayFont);
}

// The keys laid out as on a desk calculator: digits from 7 at the top, 0 twice as wide.
QGridLayout *Calculator::makeKeys()
{
    auto *keys = new QGridLayout;
    keys->setSpacing(3);
    keys->addWidget(addKey(QStringLiteral("C"), QStringLiteral("KeyClear")), 0, 0);
    keys->addWidget(addKey(QStringLiteral("\u2190"), QStringLiteral("KeyBack")), 0, 1);
    keys->addWidget(addKey(QStringLiteral("\u00f7"), QStringLiteral("KeyDivide")), 0, 2);
    keys->addWidget(addKey(QStringLiteral("\u00d7"), QStringLiteral("KeyMultiply")), 0, 3);
    for (int digit = 1; digit <= 9; ++digit)
        keys->addWidget(addKey(QString::number(digit), QStringLiteral("Key%1").arg(digit)),
            3 - (digit - 1) / 3, (digit - 1) % 3);
    keys->addWidget(addKey(QStringLiteral("\u2212"), QStringLiteral("KeySubtract")), 1, 3);
    keys->addWidget(addKey(QStringLiteral("+"), QStringLiteral("KeyAdd")), 2, 3);
    QPushButton *equals = addKey(QStringLiteral("="), QStringLiteral("KeyEquals"));
    equals->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    keys->addWidget(equals, 3, 3, 2, 1);
    QPushButton *zero = addKey(QStringLiteral("0"), QStringLiteral("Key0"));
    zero->setFixedWidth(2 * zero->width() + keys->spacing());
    keys->addWidget(zero, 4, 0, 1, 2);
    m_pointKey = addKey(QStringLiteral("."), QStringLiteral("KeyPoint"));
    keys->addWidget(m_pointKey, 4, 2);
    return keys;
}

QHBoxLayout *Calculator::makeButtons()
{
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("ButtonOk"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("ButtonCancel"));
    // The keyboard belongs to the calculator, so no button takes the focus or
    // answers Enter by itself.
    for (QPushButton *button : { m_ok, m_cancel }) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    return buttons;
}

void Calculator::connectKeys()
{
    connect(findChild<QPushButton *>(QStringLiteral("KeyClear")), &QPushButton::clicked, this,
        &Calculator::pressClear);
    connect(findChild<QPushButton *>(QStringLiteral("KeyBack")), &QPushButton::clicked, this,
        &Calculator::pressBackspace);
    connect(findChild<QPushButton *>(QStringLiteral("KeyDivide")), &QPushButton::clicked, this,
        [this] { pressOperation(Operation::Divide); });
    connect(findChild<QPushButton *>(QStringLiteral("KeyMultiply")), &QPushButton::clicked, this,
        [this] { pressOperation(Operation::Multiply); });
    connect(findChild<QPushButton *>(QStringLiteral("KeySubtract")), &QPushButton::clicked, this,
        [this] { pressOperation(Operation::Subtract); });
    connect(findChild<QPushButton *>(QStringLiteral("KeyAdd")), &QPushButton::clicked, this,
        [this] { pressOperation(Operation::Add); });
    connect(findChild<QPushButton *>(QStringLiteral("KeyEquals")), &QPushButton::clicked, this,
        &Calculator::pressEquals);
    connect(m_pointKey, &QPushButton::clicked, this, &Calculator::pressPoint);
    for (int digit = 0; digit <= 9; ++digit)
        connect(findChild<QPushButton *>(QStringLiteral("Key%1").arg(digit)), &QPushButton::clicked,
            this, [this, digit] { pressDigit(digit); });
    connect(m_ok, &QPushButton::clicked, this, &Calculator::pressOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QPushButton *Calculator::addKey(const QString &text, const QString &name)
{
    auto *key = new QPushButton(text, this);
    key->setObjectName(name);
    key->setFocusPolicy(Qt::NoFocus);
    key->setAutoDefault(false);
    key->setFixedWidth(40);
    key->setMinimumHeight(28);
    QFont font = key->font();
    font.setPixelSize(14);
    font.setBold(true);
    key->setFont(font);
    return key;
}

void Calculator::setValue(double value)
{
    m_value = value;
    pressClear();
    showNumber(value);
}

bool Calculator::execute()
{
    pressClear();
    showNumber(m_value);
    return exec() == QDialog::Accepted;
}

QString Calculator::displayText() const
{
    return m_display->text();
}

Calculator *Calculator::instance()
{
    if (!sharedCalculator) {
        sharedCalculator = new Calculator;
        DialogSupport::deleteAtExit(sharedCalculator);
    }
    return sharedCalculator;
}

void Calculator::setInstance(Calculator *calculator)
{
    sharedCalculator = calculator;
}

void Calculator::pressDigit(int digit)
{
    if (m_error)
        pressClear();
    if (!m_entering || m_entry == QLatin1String("0")) {
        m_entry = QString::number(digit);
        m_entering = true;
    } else {
        const qsizetype digits = m_entry.size() - (m_entry.contains(QLatin1Char('.')) ? 1 : 0);
        if (digits < maxDigits)
            m_entry += QString::number(digit);
    }
    showEntry();
}

void Calculator::pressPoint()
{
    if (m_error)
        pressClear();
    if (!m_entering) {
        m_entry = QStringLiteral("0.");
        m_entering = true;
    } else if (!m_entry.contains(QLatin1Char('.'))) {
        m_entry += QLatin1Char('.');
    }
    showEntry();
}

void Calculator::pressOperation(Operation operation)
{
    if (m_error)
        return;
    if (m_pending == Operation::None)
        m_accumulator = shownNumber();
    else if (m_entering && !computePending())
        return;
    m_pending = operation;
    finishEntry();
}

void Calculator::pressEquals()
{
    if (m_error)
        return;
    if (m_pending != Operation::None)
        computePending();
    finishEntry();
}

void Calculator::pressClear()
{
    m_accumulator = 0;
    m_pending = Operation::None;
    m_entry.clear();
    m_entering = false;
    m_error = false;
    showNumber(0);
}

void Calculator::pressBackspace()
{
    if (m_error) {
        pressClear();
        return;
    }
    // A result is not typing; only typed digits can be taken back.
    if (!m_entering)
        return;
    m_entry.chop(1);
    if (m_entry.isEmpty())
        m_entry = QStringLiteral("0");
    showEntry();
}

void Calculator::pressOk()
{
    // An error is no value to hand back: the user clears it or cancels.
    if (m_error)
        return;
    if (m_pending != Operation::None && !computePending())
        return;
    m_value = shownNumber();
    accept();
}

void Calculator::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    const QString point = QLocale().decimalPoint();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The first Enter finishes a sum, the next one takes the result.
        if (m_pending != Operation::None)
            pressEquals();
        else
            pressOk();
        return;
    case Qt::Key_Backspace:
        pressBackspace();
        return;
    case Qt::Key_Delete:
        pressClear();
        return;
    case Qt::Key_Escape:
        reject();
        return;
    default:
        break;
    }
    if (text.size() == 1 && text.at(0).isDigit() && text.at(0).unicode() < 128) {
        pressDigit(text.at(0).digitValue());
    } else if (text == QLatin1String(".") || (!text.isEmpty() && text == point)) {
        pressPoint();
    } else if (text == QLatin1String("+")) {
        pressOperation(Operation::Add);
    } else if (text == QLatin1String("-")) {
        pressOperation(Operation::Subtract);
    } else if (text == QLatin1String("*")) {
        pressOperation(Operation::Multiply);
    } else if (text == QLatin1String("/")) {
        pressOperation(Operation::Divide);
    } else if (text == QLatin1String("=")) {
        pressEquals();
    } else if (text.compare(QLatin1String("c"), Qt::CaseInsensitive) == 0) {
        pressClear();
    } else {
        QDialog::keyPressEvent(event);
    }
}

void Calculator::showEvent(QShowEvent *event)
{
    m_pointKey->setText(QLocale().decimalPoint());
    showEntry();
    if (!m_entering && !m_error)
        showNumber(m_shown);
    QDialog::showEvent(event);
}

void Calculator::finishEntry()
{
    if (m_entering)
        m_shown = m_entry.toDouble();
    m_entering = false;
}

double Calculator::shownNumber() const
{
    return m_entering ? m_entry.toDouble() : m_shown;
}

void Calculator::showNumber(double number)
{
    if (!std::isfinite(number) || number == 0)
        number = 0; // also turns -0 into 0
    // Kept as shown, so 0.1 + 0.2 hands back 0.3.
    m_shown = QString::number(number, 'g', maxDigits).toDouble();
    m_display->setText(displayLocale().toString(m_shown, 'g', maxDigits));
    updateOkButton();
}

void Calculator::showEntry()
{
    if (!m_entering)
        return;
    QString shown = m_entry;
    shown.replace(QLatin1Char('.'), QLocale().decimalPoint());
    m_display->setText(shown);
    updateOkButton();
}

void Calculator::showError()
{
    m_error = true;
    m_pending = Operation::None;
    m_entering = false;
    m_entry.clear();
    m_display->setText(QStringLiteral("Error"));
    updateOkButton();
}

bool Calculator::computePending()
{
    const double result = apply(m_accumulator, m_pending, shownNumber());
    if (!std::isfinite(result)) {
        showError();
        return false;
    }
    m_pending = Operation::None;
    m_entering = false;
    showNumber(result);
    m_accumulator = m_shown;
    return true;
}

void Calculator::updateOkButton()
{
    m_ok->setEnabled(!m_error);
}
