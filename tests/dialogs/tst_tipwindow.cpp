#include "../support/testsupport.h"
#include "dialogs/tipwindow.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {
std::unique_ptr<TipWindow> makeTip(int kind)
{
    switch (TipWindow::Kind(kind)) {
    case TipWindow::Kind::PayBills:
        return std::make_unique<Tfrmtooltips>();
    case TipWindow::Kind::Reschedule:
        return std::make_unique<TFrmToolTipResched>();
    case TipWindow::Kind::History:
        break;
    }
    return std::make_unique<TFrmToolTipHist>();
}

QCheckBox *tipBox(QWidget *tip)
{
    return tip->findChild<QCheckBox *>(QStringLiteral("CheckBoxToolTip"));
}

QPushButton *button(QWidget *tip, const char *name)
{
    return tip->findChild<QPushButton *>(QLatin1String(name));
}
} // namespace

class TestTipWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnv>(); }
    void cleanup() { m_env.reset(); }

    void switchRoundTrip_data();
    void switchRoundTrip();
    void escapeDoesNotClose();
    void helpPages_data();
    void helpPages();

private:
    std::unique_ptr<TestEnv> m_env;
};

void TestTipWindow::switchRoundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("ownerBefore");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<QString>("close");
    QTest::addColumn<bool>("ownerAfter");

    const int payBills = int(TipWindow::Kind::PayBills);
    const int resched = int(TipWindow::Kind::Reschedule);
    const int history = int(TipWindow::Kind::History);
    QTest::newRow("untick, Continue") << payBills << true << true << "continue" << false;
    QTest::newRow("untick, Enter") << resched << true << true << "enter" << false;
    QTest::newRow("tick again from the menu") << history << false << true << "continue" << true;
    QTest::newRow("left as it was, off") << payBills << false << false << "continue" << false;
    QTest::newRow("untick, closed by the frame") << history << true << true << "frame" << false;
}

void TestTipWindow::switchRoundTrip()
{
    QFETCH(int, kind);
    QFETCH(bool, ownerBefore);
    QFETCH(bool, toggle);
    QFETCH(QString, close);
    QFETCH(bool, ownerAfter);

    std::unique_ptr<TipWindow> tip = makeTip(kind);
    QCheckBox owner;
    owner.setChecked(ownerBefore);
    bool shownTick = !ownerBefore;
    whenModalOf("TipWindow", [&](QWidget *modal) {
        QVERIFY(modal);
        shownTick = tipBox(modal)->isChecked();
        if (toggle)
            QTest::mouseClick(tipBox(modal), Qt::LeftButton);
        if (close == QLatin1String("continue"))
            QTest::mouseClick(button(modal, "ButtonContinue"), Qt::LeftButton);
        else if (close == QLatin1String("enter"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        else
            modal->close();
    });
    const int result = tip->execFor(&owner);

    QCOMPARE(shownTick, ownerBefore);
    QCOMPARE(owner.isChecked(), ownerAfter);
    QCOMPARE(
        result, close == QLatin1String("frame") ? int(QDialog::Rejected) : int(QDialog::Accepted));
}

void TestTipWindow::escapeDoesNotClose()
{
    Tfrmtooltips tip;
    QCheckBox owner;
    owner.setChecked(true);
    bool openAfterEscape = false;
    whenModalOf("Tfrmtooltips", [&](QWidget *modal) {
        QVERIFY(modal);
        QTest::mouseClick(tipBox(modal), Qt::LeftButton);
        // Escape to the window and to the control with the focus.
        QTest::keyClick(modal, Qt::Key_Escape);
        QTest::keyClick(tipBox(modal), Qt::Key_Escape);
        openAfterEscape = modal->isVisible();
        QTest::mouseClick(button(modal, "ButtonContinue"), Qt::LeftButton);
    });
    QCOMPARE(tip.execFor(&owner), int(QDialog::Accepted));
    QVERIFY(openAfterEscape);
    QVERIFY(!owner.isChecked());
}

void TestTipWindow::helpPages_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("page");
    QTest::newRow("pay bills") << int(TipWindow::Kind::PayBills) << "/ds_help/pay_bills_screen.hta";
    QTest::newRow("reschedule") << int(TipWindow::Kind::Reschedule)
                                << "/ds_help/reschedule_screen.hta";
    QTest::newRow("history") << int(TipWindow::Kind::History) << "/ds_help/history_screen.hta";
}

void TestTipWindow::helpPages()
{
    QFETCH(int, kind);
    QFETCH(QString, page);

    std::unique_ptr<TipWindow> tip = makeTip(kind);
    QCheckBox owner;
    QStringList afterButton;
    QStringList afterKeys;
    bool openAfterHelp = false;
    whenModalOf("TipWindow", [&](QWidget *modal) {
        QVERIFY(modal);
        QTest::mouseClick(button(modal, "ButtonMoreHelp"), Qt::LeftButton);
        afterButton = m_env->desktop.helpFiles;
        m_env->desktop.helpFiles.clear();
        // Under load the window may take a moment to be given the keyboard.
        const bool focused = QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; });
        QWidget *focus = focused ? QApplication::focusWidget() : modal;
        QTest::keyClick(focus, Qt::Key_F1);
        QTest::keyClick(focus, Qt::Key_F1, Qt::ShiftModifier);
        QTest::keyClick(focus, Qt::Key_F1, Qt::ControlModifier);
        QTest::keyClick(focus, Qt::Key_F1, Qt::AltModifier);
        QTest::keyClick(focus, Qt::Key_F1, Qt::ShiftModifier | Qt::ControlModifier);
        afterKeys = m_env->desktop.helpFiles;
        openAfterHelp = modal->isVisible();
        QTest::mouseClick(button(modal, "ButtonContinue"), Qt::LeftButton);
    });
    tip->execFor(&owner);

    QVERIFY(openAfterHelp);
    QCOMPARE(afterButton.size(), 1);
    QVERIFY2(afterButton.first().endsWith(page), qPrintable(afterButton.first()));
    // F1 alone and with two modifiers; not with exactly one.
    QCOMPARE(afterKeys.size(), 2);
    QVERIFY(afterKeys.at(0).endsWith(page) && afterKeys.at(1).endsWith(page));
}

QTEST_MAIN(TestTipWindow)
#include "tst_tipwindow.moc"
