#include "../support/testsupport.h"
#include "dialogs/calculator.h"

#include <QApplication>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include <memory>

namespace {
// Types keys into the calculator; '\r' is Enter, '\b' Backspace.
void typeInto(QWidget *calculator, const QString &keys)
{
    for (const QChar key : keys) {
        if (key == QLatin1Char('\r'))
            QTest::keyClick(calculator, Qt::Key_Return);
        else if (key == QLatin1Char('\b'))
            QTest::keyClick(calculator, Qt::Key_Backspace);
        else
            QTest::keyClicks(calculator, QString(key));
    }
}

struct Session
{
    bool taken = false;
    QString display;
    bool openAfterKeys = false;
    bool openAfterFinish = false;
};

// Shows the calculator on `start`, types `keys`, notes the display, then
// does `finish` ("ok", "cancel", "escape", "enter"; nothing when the keys
// were meant to close it). A calculator still open after that is cancelled,
// so a test cannot hang.
Session run(Calculator *calculator, double start, const QString &keys, const QString &finish = {})
{
    Session session;
    calculator->setValue(start);
    whenModalOf("Calculator", [&](QWidget *modal) {
        QVERIFY(modal);
        typeInto(modal, keys);
        session.display = calculator->displayText();
        session.openAfterKeys = modal->isVisible();
        if (finish == QLatin1String("ok"))
            QTest::mouseClick(
                modal->findChild<QPushButton *>(QStringLiteral("ButtonOk")), Qt::LeftButton);
        else if (finish == QLatin1String("cancel"))
            QTest::mouseClick(
                modal->findChild<QPushButton *>(QStringLiteral("ButtonCancel")), Qt::LeftButton);
        else if (finish == QLatin1String("escape"))
            QTest::keyClick(modal, Qt::Key_Escape);
        else if (finish == QLatin1String("enter"))
            QTest::keyClick(modal, Qt::Key_Return);
        session.openAfterFinish = modal->isVisible();
        if (session.openAfterFinish)
            calculator->reject();
    });
    session.taken = calculator->execute();
    return session;
}
} // namespace

class TestCalculator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_calculator = std::make_unique<Calculator>();
    }
    void cleanup()
    {
        m_calculator.reset();
        m_env.reset();
    }

    void keyboardArithmetic_data();
    void keyboardArithmetic();
    void cancelKeepsTheValueSet();
    void enterFinishesTheSumThenTakesIt();
    void divisionByZero();
    void localeDecimalSeparator();
    void buttons();

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<Calculator> m_calculator;
};

void TestCalculator::keyboardArithmetic_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("display");
    QTest::addColumn<double>("value");

    QTest::newRow("sum") << 0.0 << "12+3="
                         << "15" << 15.0;
    QTest::newRow("decimals") << 0.0 << "1.5+2.25="
                              << "3.75" << 3.75;
    QTest::newRow("no binary noise") << 0.0 << "0.1+0.2="
                                     << "0.3" << 0.3;
    QTest::newRow("chained left to right") << 0.0 << "2*3+4="
                                           << "10" << 10.0;
    QTest::newRow("operator changed") << 0.0 << "8+*3="
                                      << "24" << 24.0;
    QTest::newRow("starts from the value set") << 19.99 << "*3="
                                               << "59.97" << 59.97;
    QTest::newRow("typing replaces the value set") << 19.99 << "7"
                                                   << "7" << 7.0;
    QTest::newRow("backspace") << 0.0 << "123\b4"
                               << "124" << 124.0;
    QTest::newRow("backspace leaves results alone") << 0.0 << "2+3=\b"
                                                    << "5" << 5.0;
    QTest::newRow("one point only") << 0.0 << "1.2.3"
                                    << "1.23" << 1.23;
    QTest::newRow("clear") << 0.0 << "99+1c7="
                           << "7" << 7.0;
    QTest::newRow("digits are capped") << 0.0 << "12345678901234567"
                                       << "123456789012345" << 123456789012345.0;
}

void TestCalculator::keyboardArithmetic()
{
    QFETCH(double, start);
    QFETCH(QString, keys);
    QFETCH(QString, display);
    QFETCH(double, value);

    const Session session = run(m_calculator.get(), start, keys, QStringLiteral("ok"));
    QCOMPARE(session.display, display);
    QVERIFY(session.taken);
    QCOMPARE(m_calculator->value(), value);
}

void TestCalculator::cancelKeepsTheValueSet()
{
    for (const QString &finish : { QStringLiteral("cancel"), QStringLiteral("escape") }) {
        const Session session = run(m_calculator.get(), 42.5, QStringLiteral("7+1="), finish);
        QCOMPARE(session.display, QStringLiteral("8"));
        QVERIFY(!session.taken);
        QCOMPARE(m_calculator->value(), 42.5);
    }
}

void TestCalculator::enterFinishesTheSumThenTakesIt()
{
    Session session = run(m_calculator.get(), 0, QStringLiteral("2+3\r"));
    QVERIFY(session.openAfterKeys);
    QCOMPARE(session.display, QStringLiteral("5"));

    session = run(m_calculator.get(), 0, QStringLiteral("2+3\r\r"));
    QVERIFY(!session.openAfterKeys);
    QVERIFY(session.taken);
    QCOMPARE(m_calculator->value(), 5.0);

    // Enter with nothing pending takes the value at once.
    session = run(m_calculator.get(), 12.0, QStringLiteral("\r"));
    QVERIFY(!session.openAfterKeys);
    QVERIFY(session.taken);
    QCOMPARE(m_calculator->value(), 12.0);

    // OK finishes a pending sum before taking it.
    session = run(m_calculator.get(), 0, QStringLiteral("6*7"), QStringLiteral("ok"));
    QVERIFY(session.taken);
    QCOMPARE(m_calculator->value(), 42.0);
}

void TestCalculator::divisionByZero()
{
    // The error is no result: neither OK nor Enter takes it.
    for (const QString &finish : { QStringLiteral("ok"), QStringLiteral("enter") }) {
        const Session session = run(m_calculator.get(), 7.0, QStringLiteral("5/0="), finish);
        QCOMPARE(session.display, QStringLiteral("Error"));
        QVERIFY(session.openAfterFinish);
        QVERIFY(!session.taken);
        QCOMPARE(m_calculator->value(), 7.0);
    }

    // The error also ends a chain; operators then change nothing and a digit
    // starts afresh.
    Session session = run(m_calculator.get(), 7.0, QStringLiteral("6/0*"));
    QCOMPARE(session.display, QStringLiteral("Error"));
    session = run(m_calculator.get(), 7.0, QStringLiteral("1/0+3=4"), QStringLiteral("ok"));
    QCOMPARE(session.display, QStringLiteral("4"));
    QVERIFY(session.taken);
    QCOMPARE(m_calculator->value(), 4.0);

    // Backspace clears the error as well.
    session = run(m_calculator.get(), 7.0, QStringLiteral("1/0=\b"), QStringLiteral("ok"));
    QCOMPARE(session.display, QStringLiteral("0"));
    QVERIFY(session.taken);
    QCOMPARE(m_calculator->value(), 0.0);
}

void TestCalculator::localeDecimalSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto restore = qScopeGuard(
        [] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
    const Session comma
        = run(m_calculator.get(), 1.25, QStringLiteral("*2=+1,5="), QStringLiteral("ok"));
    QCOMPARE(comma.display, QStringLiteral("4"));
    QCOMPARE(m_calculator->value(), 4.0);

    const Session shown
        = run(m_calculator.get(), 0, QStringLiteral("1,5+1=4.5"), QStringLiteral("ok"));
    QCOMPARE(shown.display, QStringLiteral("4,5"));
    QCOMPARE(m_calculator->value(), 4.5);
}

void TestCalculator::buttons()
{
    m_calculator->setValue(0);
    whenModalOf("Calculator", [](QWidget *modal) {
        QVERIFY(modal);
        for (const char *name : { "Key1", "KeyPoint", "Key5", "KeyMultiply", "Key4", "KeyEquals",
                 "KeyDivide", "Key3", "KeySubtract", "Key1", "KeyEquals", "ButtonOk" })
            QTest::mouseClick(modal->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
    });
    QVERIFY(m_calculator->execute());
    QCOMPARE(m_calculator->value(), 1.0);
}

QTEST_MAIN(TestCalculator)
#include "tst_calculator.moc"
