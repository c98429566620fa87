#include "../support/testsupport.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmintro.h"
#include "dialogs/linklabel.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestIntroAbout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        BusyPointer::set(false);
        m_env.reset();
    }

    void introAnswers_data();
    void introAnswers();
    void introHelpKeyKeepsItOpen();
    void aboutLinksAndHelp();

private:
    std::unique_ptr<TestEnv> m_env;
};

void TestIntroAbout::introAnswers_data()
{
    QTest::addColumn<bool>("ownerBefore");
    QTest::addColumn<bool>("untick");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("pageOpened");
    QTest::addColumn<bool>("ownerAfter");

    QTest::newRow("Yes") << true << false << "yes" << int(QDialog::Accepted) << true << true;
    QTest::newRow("Enter is Yes") << true << false << "enter" << int(QDialog::Accepted) << true
                                  << true;
    QTest::newRow("No, unticked") << true << true << "no" << int(QDialog::Rejected) << false
                                  << false;
    QTest::newRow("Escape is No") << true << true << "escape" << int(QDialog::Rejected) << false
                                  << false;
    QTest::newRow("ticked again from the menu")
        << false << true << "no" << int(QDialog::Rejected) << false << true;
    QTest::newRow("closed by the frame")
        << true << true << "frame" << int(QDialog::Rejected) << false << false;
}

void TestIntroAbout::introAnswers()
{
    QFETCH(bool, ownerBefore);
    QFETCH(bool, untick);
    QFETCH(QString, answer);
    QFETCH(int, result);
    QFETCH(bool, pageOpened);
    QFETCH(bool, ownerAfter);

    TFrmIntro intro;
    QCheckBox checkBoxIntro;
    checkBoxIntro.setChecked(ownerBefore);
    // The menu entry shows the busy pointer before the prompt.
    BusyPointer::set(true);
    bool busyWhileUp = true;
    bool shownTick = !ownerBefore;
    whenModalOf("TFrmIntro", [&](QWidget *modal) {
        QVERIFY(modal);
        busyWhileUp = BusyPointer::isBusy();
        auto *box = modal->findChild<QCheckBox *>(QStringLiteral("CheckBoxIntro"));
        shownTick = box->isChecked();
        if (untick)
            QTest::mouseClick(box, Qt::LeftButton);
        if (answer == QLatin1String("yes"))
            QTest::mouseClick(
                modal->findChild<QPushButton *>(QStringLiteral("ButtonYes")), Qt::LeftButton);
        else if (answer == QLatin1String("no"))
            QTest::mouseClick(
                modal->findChild<QPushButton *>(QStringLiteral("ButtonNo")), Qt::LeftButton);
        else if (answer == QLatin1String("enter"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        else if (answer == QLatin1String("escape"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            modal->close();
        if (modal->isVisible())
            static_cast<QDialog *>(modal)->done(-1);
    });
    QCOMPARE(intro.execFor(&checkBoxIntro), result);

    QVERIFY(!busyWhileUp);
    QCOMPARE(shownTick, ownerBefore);
    QCOMPARE(checkBoxIntro.isChecked(), ownerAfter);
    if (pageOpened) {
        QCOMPARE(m_env->desktop.helpFiles.size(), 1);
        QVERIFY(
            m_env->desktop.helpFiles.first().endsWith(QStringLiteral("/ds_help/introduction.hta")));
    } else {
        QVERIFY(m_env->desktop.helpFiles.isEmpty());
    }
}

void TestIntroAbout::introHelpKeyKeepsItOpen()
{
    TFrmIntro intro;
    QCheckBox checkBoxIntro;
    checkBoxIntro.setChecked(true);
    bool openAfterF1 = false;
    whenModalOf("TFrmIntro", [&](QWidget *modal) {
        QVERIFY(modal);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ShiftModifier);
        openAfterF1 = modal->isVisible();
        QTest::mouseClick(
            modal->findChild<QPushButton *>(QStringLiteral("ButtonNo")), Qt::LeftButton);
    });
    QCOMPARE(intro.execFor(&checkBoxIntro), int(QDialog::Rejected));
    QVERIFY(openAfterF1);
    QCOMPARE(m_env->desktop.helpFiles.size(), 1);
    QVERIFY(m_env->desktop.helpFiles.first().endsWith(QStringLiteral("/ds_help/introduction.hta")));
    QVERIFY(checkBoxIntro.isChecked());
}

void TestIntroAbout::aboutLinksAndHelp()
{
    TfrmAbout about;
    whenModalOf("TfrmAbout", [&](QWidget *modal) {
        QVERIFY(modal);
        QTest::mouseClick(about.addressLink(), Qt::LeftButton);
        QTest::mouseClick(about.nameLink(), Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        if (modal->isVisible())
            static_cast<QDialog *>(modal)->done(-1);
    });
    QCOMPARE(about.exec(), int(QDialog::Accepted));

    // Both links open the team's page shipped with the program, not a web address.
    const QString team = Help::pagePath(QStringLiteral("duesmith_team.hta"));
    QVERIFY(m_env->desktop.urls.isEmpty());
    QCOMPARE(m_env->desktop.helpFiles,
        (QStringList{ team, team, Help::pagePath(QStringLiteral("index.hta")) }));
    QVERIFY(QFileInfo::exists(team));
    QCOMPARE(about.nameLink()->toolTip(), team);
    QVERIFY(!BusyPointer::isBusy());
}

QTEST_MAIN(TestIntroAbout)
#include "tst_introabout.moc"
