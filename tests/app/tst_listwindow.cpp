#include "support/testsupport.h"

#include "app/listwindow.h"
#include "history/frmhistory.h"
#include "payment/frmpayit.h"
#include "payment/frmresched.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTest>

#include <memory>

// The frame the item-list windows share: each window's F1 page, its Help menu
// and its tip switch, stored in its own settings section.
class TestListWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void frame_data();
    void frame();
};

void TestListWindow::frame_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("section");
    QTest::newRow("pay bills") << 0 << QStringLiteral("pay_bills_screen.hta")
                               << QStringLiteral("TFrmPayit");
    QTest::newRow("reschedule") << 1 << QStringLiteral("reschedule_screen.hta")
                                << QStringLiteral("TFrmresched");
    QTest::newRow("history") << 2 << QStringLiteral("history_screen.hta")
                             << QStringLiteral("TFrmHistory");
}

void TestListWindow::frame()
{
    QFETCH(int, kind);
    QFETCH(QString, page);
    QFETCH(QString, section);
    TestEnv env;
    env.createTables();
    std::unique_ptr<ListWindow> window;
    if (kind == 0)
        window = std::make_unique<TFrmPayit>();
    else if (kind == 1)
        window = std::make_unique<TFrmresched>();
    else
        window = std::make_unique<TFrmHistory>();

    QTest::keyClick(window.get(), Qt::Key_F1);
    QCOMPARE(env.desktop.helpFiles.size(), 1);
    QVERIFY(env.desktop.helpFiles.first().endsWith(QLatin1Char('/') + page));

    const QList<QMenu *> menus
        = window->findChildren<QMenuBar *>().value(0)->findChildren<QMenu *>();
    QStringList last;
    for (QAction *action : menus.last()->actions())
        last.append(action->text());
    QCOMPARE(menus.last()->title(), QStringLiteral("&Help"));
    QVERIFY(last.contains(QStringLiteral("Tool Ti&p")));

    window->show();
    QVERIFY(window->CheckBoxToolTip->isChecked());
    window->CheckBoxToolTip->setChecked(false);
    window->hide();
    QSettings store(
        QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName());
    QCOMPARE(store.value(section + QStringLiteral("/CheckBoxToolTip_Checked")).toString(),
        QStringLiteral("False"));
}

QTEST_MAIN(TestListWindow)
#include "tst_listwindow.moc"
