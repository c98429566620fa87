#include "app/formstorage.h"
#include "domain/options.h"

#include "../support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

const QStringList kFields = { u"Due Date"_s, u"Description"_s, u"Bill Amount"_s, u"PayNow"_s };
const QRect kDesignGeometry(100, 100, 500, 400);

// A window with one of each kind of stored thing, at its design values.
class Window : public QWidget
{
    Q_OBJECT
public:
    explicit Window(FormStorage::Placement options
        = FormStorage::State | FormStorage::Position | FormStorage::Focus)
    {
        setObjectName(u"TfrmSched"_s);
        agingInterval = new QLineEdit(u"7"_s, this);
        agingInterval->setObjectName(u"EditAgingInterval"_s);
        reminder = new QCheckBox(this);
        reminder->setObjectName(u"CheckBoxDisplayReminder"_s);
        reminder->setChecked(true);
        type = new QComboBox(this);
        type->setObjectName(u"TypeBtn"_s);
        type->addItems({ u"Paradox"_s, u"dBASE"_s, u"ASCII"_s });
        grid = new QTableView(this);
        grid->setObjectName(u"DBGridSched"_s);
        model.setColumnCount(int(kFields.size()));
        model.setRowCount(3);
        grid->setModel(&model);
        setGeometry(kDesignGeometry);

        storage = new FormStorage(this, u"TfrmSched"_s, options);
        storage->addProperty(agingInterval, u"EditAgingInterval"_s);
        storage->addProperty(reminder, u"CheckBoxDisplayReminder"_s);
        storage->addProperty(type, u"TypeBtn"_s);
        storage->addIntProperty(
            u"Panel3_Height"_s, [this] { return panelHeight; },
            [this](int value) { panelHeight = value; });
        storage->addGrid(grid, u"DBGridSched"_s, [](int column) { return kFields.value(column); });
    }

    QHeaderView *header() const { return grid->horizontalHeader(); }

    QLineEdit *agingInterval;
    QCheckBox *reminder;
    QComboBox *type;
    QTableView *grid;
    QStandardItemModel model;
    int panelHeight = 210;
    FormStorage *storage;
};

// A control known only through its Qt properties.
class DirectoryEdit : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString initialDir MEMBER initialDir)
    Q_PROPERTY(int recordCount MEMBER recordCount)
public:
    QString initialDir;
    int recordCount = 5;
};

QString stored(const QString &key)
{
    QSettings store(
        QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName());
    return store.value(key).toString();
}

void store(const QString &key, const QString &value)
{
    QSettings store(
        QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName());
    store.setValue(key, value);
}

// Writes the settings file by hand, the way a user with an editor would.
void writeRaw(const TestEnv &env, const QByteArray &text)
{
    const QString file = env.settingsFile();
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(text);
}

} // namespace

class TestFormStorage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstRunKeepsDesignValues();
    void valuesRoundTripWithTheirNamesAndFormats();
    void anyQtPropertyRoundTrips();
    void gridLayoutSurvivesRestart();
    void nonsenseValuesAreSkipped();
    void normalRectangleLandsOnScreen_data();
    void normalRectangleLandsOnScreen();
    void stateAndFocusRoundTrip();
    void placementOptionsLimitWhatIsRestored();
    void negativeFormVersionIgnoresStore();
    void attachRestoresOnShowAndSavesOnClose();
    void saveErrorIsReportedAndWindowStillCloses();
    void optionsKeepTheirStoredNames();
};

void TestFormStorage::firstRunKeepsDesignValues()
{
    TestEnv env;
    Window w;
    // Nothing is written before the window has read the store.
    w.storage->save();
    QVERIFY(!QFile::exists(env.settingsFile()));
    w.storage->restore();
    QVERIFY(w.storage->restored());
    QCOMPARE(w.agingInterval->text(), u"7"_s);
    QVERIFY(w.reminder->isChecked());
    QCOMPARE(w.type->currentIndex(), 0);
    QCOMPARE(w.panelHeight, 210);
    QCOMPARE(w.geometry(), kDesignGeometry);
    QVERIFY(!w.isMaximized());
    for (int c = 0; c < w.header()->count(); ++c)
        QCOMPARE(w.header()->visualIndex(c), c);
}

void TestFormStorage::valuesRoundTripWithTheirNamesAndFormats()
{
    TestEnv env;
    {
        Window w;
        w.storage->restore();
        w.agingInterval->setText(u"14"_s);
        w.reminder->setChecked(false);
        w.type->setCurrentIndex(2);
        w.panelHeight = 250;
        w.storage->save();
    }
    QVERIFY(env.messages.shown().isEmpty());
    QCOMPARE(stored(u"TfrmSched/EditAgingInterval_Text"_s), u"14"_s);
    QCOMPARE(stored(u"TfrmSched/CheckBoxDisplayReminder_Checked"_s), u"False"_s);
    QCOMPARE(stored(u"TfrmSched/TypeBtn_ItemIndex"_s), u"2"_s);
    QCOMPARE(stored(u"TfrmSched/Panel3_Height"_s), u"250"_s);
    QCOMPARE(stored(u"TfrmSched/FormVersion"_s), u"0"_s);
    QCOMPARE(stored(u"TfrmSched/ShowCmd"_s), u"1"_s);
    QCOMPARE(stored(u"TfrmSched/Flags"_s), u"0"_s);
    QCOMPARE(stored(u"TfrmSched/MinMaxPos"_s), u"-1,-1,-1,-1"_s);
    QCOMPARE(stored(u"TfrmSched/NormPos"_s), u"100,100,600,500"_s);
    QVERIFY(stored(u"TfrmSched/PixelsPerInch"_s).toInt() > 0);

    Window again;
    again.storage->restore();
    QCOMPARE(again.agingInterval->text(), u"14"_s);
    QVERIFY(!again.reminder->isChecked());
    QCOMPARE(again.type->currentIndex(), 2);
    QCOMPARE(again.panelHeight, 250);
}

void TestFormStorage::anyQtPropertyRoundTrips()
{
    TestEnv env;
    QWidget window;
    DirectoryEdit edit;
    {
        FormStorage storage(&window, u"TDestTableDlg"_s, {});
        storage.addProperty(&edit, u"TabnameEdit"_s, "InitialDir");
        storage.addProperty(&edit, u"RecordCntEdit"_s, "RecordCount");
        storage.restore();
        edit.initialDir = u"/home/user/export"_s;
        edit.recordCount = 12;
        storage.save();
    }
    QCOMPARE(stored(u"TDestTableDlg/TabnameEdit_InitialDir"_s), u"/home/user/export"_s);
    QCOMPARE(stored(u"TDestTableDlg/RecordCntEdit_RecordCount"_s), u"12"_s);

    store(u"TDestTableDlg/RecordCntEdit_RecordCount"_s, u"12x"_s);
    DirectoryEdit fresh;
    FormStorage storage(&window, u"TDestTableDlg"_s, {});
    storage.addProperty(&fresh, u"TabnameEdit"_s, "InitialDir");
    storage.addProperty(&fresh, u"RecordCntEdit"_s, "RecordCount");
    storage.restore();
    QCOMPARE(fresh.initialDir, u"/home/user/export"_s);
    QCOMPARE(fresh.recordCount, 5);
}

void TestFormStorage::gridLayoutSurvivesRestart()
{
    TestEnv env;
    store(u"TfrmSchedDBGridSched/DBGridSched.Old Column"_s, u"0,50"_s);
    {
        Window w;
        w.storage->restore();
        // "Bill Amount" dragged to the front and widened.
        w.header()->moveSection(2, 0);
        w.header()->resizeSection(2, 137);
        w.header()->resizeSection(0, 84);
        w.storage->save();
    }
    QCOMPARE(stored(u"TfrmSchedDBGridSched/DBGridSched.Bill Amount"_s), u"0,137"_s);
    QCOMPARE(stored(u"TfrmSchedDBGridSched/DBGridSched.Due Date"_s), u"1,84"_s);
    // The grid's section is rewritten whole: a column that is gone leaves nothing behind.
    QVERIFY(stored(u"TfrmSchedDBGridSched/DBGridSched.Old Column"_s).isNull());

    Window again;
    again.storage->restore();
    QHeaderView *header = again.header();
    QCOMPARE(header->visualIndex(2), 0);
    QCOMPARE(header->visualIndex(0), 1);
    QCOMPARE(header->visualIndex(1), 2);
    QCOMPARE(header->visualIndex(3), 3);
    QCOMPARE(header->sectionSize(2), 137);
    QCOMPARE(header->sectionSize(0), 84);
}

void TestFormStorage::nonsenseValuesAreSkipped()
{
    TestEnv env;
    writeRaw(env,
        "[TfrmSched]\n"
        "FormVersion=banana\n"
        "EditAgingInterval_Text=12\n"
        "CheckBoxDisplayReminder_Checked=maybe\n"
        "TypeBtn_ItemIndex=9\n"
        "Panel3_Height=abc\n"
        "NormPos=garbage\n"
        "ShowCmd=x\n"
        "ActiveControl=NoSuchControl\n"
        "\n"
        "[TfrmSchedDBGridSched]\n"
        "DBGridSched.Due%20Date=abc,xyz\n"
        "DBGridSched.Description=1\n"
        "DBGridSched.Nope=0,40\n"
        "DBGridSched.PayNow=-3,40\n"
        "DBGridSched.Bill%20Amount=0,77\n"
        "[Broken\nk=\"unterminated\n\x01 junk = =\n");
    Window w;
    w.storage->restore();
    QCOMPARE(w.agingInterval->text(), u"12"_s);
    QVERIFY(w.reminder->isChecked());
    QCOMPARE(w.type->currentIndex(), 0);
    QCOMPARE(w.panelHeight, 210);
    QCOMPARE(w.geometry(), kDesignGeometry);
    QVERIFY(!w.isMaximized());
    QCOMPARE(w.header()->visualIndex(2), 0);
    QCOMPARE(w.header()->sectionSize(2), 77);
    QCOMPARE(w.header()->visualIndex(3), 3);

    // Saving over a damaged file works and is no error, even when the damage is
    // only found then (the file edited again while the program runs).
    writeRaw(env, "[TfrmSched]\nEditAgingInterval_Text=12\n[Broken\nk=\"x\n");
    w.storage->save();
    QVERIFY(env.messages.shown().isEmpty());
    QCOMPARE(stored(u"TfrmSched/CheckBoxDisplayReminder_Checked"_s), u"True"_s);
}

void TestFormStorage::normalRectangleLandsOnScreen_data()
{
    QTest::addColumn<QByteArray>("normPos");
    QTest::addColumn<bool>("keepsDesign");
    // Unquoted, as an editor leaves it: QSettings reads it as a list.
    QTest::newRow("hand-edited") << QByteArray("10,20,410,320") << false;
    QTest::newRow("quoted") << QByteArray("\"10,20,410,320\"") << false;
    QTest::newRow("far off screen") << QByteArray("-50000,-50000,-49600,-49700") << false;
    QTest::newRow("huge") << QByteArray("-2147483648,-2147483648,2147483647,2147483647") << false;
    QTest::newRow("empty rectangle") << QByteArray("300,300,300,500") << true;
    QTest::newRow("inverted") << QByteArray("400,400,10,10") << true;
    QTest::newRow("three numbers") << QByteArray("10,20,410") << true;
    QTest::newRow("overflowing number") << QByteArray("10,20,99999999999,320") << true;
}

void TestFormStorage::normalRectangleLandsOnScreen()
{
    QFETCH(QByteArray, normPos);
    QFETCH(bool, keepsDesign);
    TestEnv env;
    writeRaw(env, "[TfrmSched]\nNormPos=" + normPos + "\n");
    Window w;
    w.storage->restore();
    if (keepsDesign) {
        QCOMPARE(w.geometry(), kDesignGeometry);
        return;
    }
    const QRect screen = w.screen()->availableGeometry();
    QVERIFY(screen.contains(w.geometry()));
    QVERIFY(w.width() > 0 && w.height() > 0);
    if (QTest::currentDataTag() == QByteArrayLiteral("hand-edited")
        || QTest::currentDataTag() == QByteArrayLiteral("quoted"))
        QCOMPARE(w.geometry(), QRect(10, 20, 400, 300));
}

void TestFormStorage::stateAndFocusRoundTrip()
{
    TestEnv env;
    {
        Window w;
        w.storage->restore();
        w.setGeometry(QRect(40, 50, 300, 200));
        w.show();
        w.type->setFocus();
        w.setWindowState(Qt::WindowMaximized);
        QCOMPARE(w.focusWidget(), w.type);
        w.storage->save();
    }
    QCOMPARE(stored(u"TfrmSched/ShowCmd"_s), u"3"_s);
    QCOMPARE(stored(u"TfrmSched/NormPos"_s), u"40,50,340,250"_s);
    QCOMPARE(stored(u"TfrmSched/ActiveControl"_s), u"TypeBtn"_s);
    QCOMPARE(stored(u"TfrmSched/Visible"_s), u"1"_s);

    Window again;
    again.storage->restore();
    QVERIFY(again.windowState().testFlag(Qt::WindowMaximized));
    QCOMPARE(again.normalGeometry(), QRect(40, 50, 300, 200));
    QCOMPARE(again.focusWidget(), again.type);

    // Closed minimized: it comes back normal, or maximized when it was maximized before.
    store(u"TfrmSched/ShowCmd"_s, u"2"_s);
    store(u"TfrmSched/Flags"_s, u"0"_s);
    Window minimized;
    minimized.storage->restore();
    QCOMPARE(minimized.windowState(), Qt::WindowNoState);
    QCOMPARE(minimized.geometry(), QRect(40, 50, 300, 200));
    store(u"TfrmSched/Flags"_s, u"2"_s);
    Window wasMaximized;
    wasMaximized.storage->restore();
    QCOMPARE(wasMaximized.windowState(), Qt::WindowMaximized);
}

void TestFormStorage::placementOptionsLimitWhatIsRestored()
{
    TestEnv env;
    writeRaw(env,
        "[TfrmSched]\nShowCmd=3\nNormPos=\"40,50,340,250\"\nActiveControl=TypeBtn\n"
        "EditAgingInterval_Text=21\n");
    Window positionOnly(FormStorage::Position);
    positionOnly.storage->restore();
    QVERIFY(!positionOnly.isMaximized());
    QCOMPARE(positionOnly.geometry(), QRect(40, 50, 300, 200));
    QVERIFY(positionOnly.focusWidget() != positionOnly.type);

    Window none{ FormStorage::Placement() };
    none.storage->restore();
    QVERIFY(!none.isMaximized());
    QCOMPARE(none.geometry(), kDesignGeometry);
    QCOMPARE(none.agingInterval->text(), u"21"_s);
}

void TestFormStorage::negativeFormVersionIgnoresStore()
{
    TestEnv env;
    writeRaw(env,
        "[TfrmSched]\nFormVersion=-1\nEditAgingInterval_Text=30\n"
        "[TfrmSchedDBGridSched]\nDBGridSched.PayNow=0,60\n");
    Window w;
    w.storage->restore();
    QCOMPARE(w.agingInterval->text(), u"7"_s);
    QCOMPARE(w.header()->visualIndex(3), 3);
    // The next save brings the store back to the current version.
    w.storage->save();
    QCOMPARE(stored(u"TfrmSched/FormVersion"_s), u"0"_s);
    QCOMPARE(stored(u"TfrmSched/EditAgingInterval_Text"_s), u"7"_s);
}

void TestFormStorage::attachRestoresOnShowAndSavesOnClose()
{
    TestEnv env;
    store(u"TfrmSched/EditAgingInterval_Text"_s, u"9"_s);
    {
        Window w;
        w.storage->attach();
        QCOMPARE(w.agingInterval->text(), u"7"_s);
        w.show();
        QVERIFY(w.storage->restored());
        QCOMPARE(w.agingInterval->text(), u"9"_s);
        w.agingInterval->setText(u"45"_s);
        QVERIFY(w.close());
        QCOMPARE(stored(u"TfrmSched/EditAgingInterval_Text"_s), u"45"_s);
        QCOMPARE(stored(u"TfrmSched/Visible"_s), u"1"_s);

        // Shown again, it reads the store again.
        store(u"TfrmSched/EditAgingInterval_Text"_s, u"3"_s);
        w.show();
        QCOMPARE(w.agingInterval->text(), u"3"_s);
        w.agingInterval->setText(u"99"_s);
    }
    // A window destroyed while shown does not save from half-destroyed members.
    QCOMPARE(stored(u"TfrmSched/EditAgingInterval_Text"_s), u"3"_s);

    // Applied while showing: the state sticks, and a dialog is not centred over it again.
    store(u"TfrmSched/ShowCmd"_s, u"3"_s);
    Window maximized;
    maximized.storage->attach();
    maximized.show();
    QVERIFY(maximized.isMaximized());

    store(u"TFrmPayit/NormPos"_s, u"30,40,330,240"_s);
    QDialog dialog(&maximized);
    FormStorage dialogStorage(&dialog, u"TFrmPayit"_s, FormStorage::Position);
    dialogStorage.attach();
    dialog.show();
    QCOMPARE(dialog.geometry(), QRect(30, 40, 300, 200));
    dialog.setGeometry(60, 70, 300, 200);
    dialog.reject();
    QCOMPARE(stored(u"TFrmPayit/NormPos"_s), u"60,70,360,270"_s);
}

void TestFormStorage::saveErrorIsReportedAndWindowStillCloses()
{
    TestEnv env;
    // A directory where the settings file belongs: nothing can be written.
    QVERIFY(QDir().mkpath(env.settingsFile()));
    Window w;
    w.storage->attach();
    w.show();
    w.agingInterval->setText(u"45"_s);
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(env.messages.shown().size(), 1);
    QCOMPARE(env.messages.shown().first().kind, u"error"_s);
    QVERIFY(
        env.messages.shown().first().text.contains(QDir::toNativeSeparators(env.settingsFile())));
}

QTEST_MAIN(TestFormStorage)
#include "tst_formstorage.moc"

void TestFormStorage::optionsKeepTheirStoredNames()
{
    TestEnv env;
    // A settings file written when the options lived in the main window's controls.
    writeRaw(env,
        "[TfrmSched]\n"
        "EditAgingInterval_Text=-5\n"
        "EditDefaultWarn_Text=3x\n"
        "UserTitle1_Text=Account\n"
        "UserTitle4_Text=A title longer than twenty-five characters\n"
        "CheckBoxDisplayReminder_Checked=False\n"
        "CheckBoxIntro_Checked=false\n"
        "CheckBoxBackupReminder_Checked=maybe\n"
        "CheckBoxConfirmExit_Checked=True\n");
    OptionsStore &options = OptionsStore::instance();
    options.reset();
    QWidget window;
    FormStorage storage(&window, u"TfrmSched"_s, FormStorage::Position);
    for (const OptionsStore::Value &value : options.values())
        storage.addProperty(value.name, value.get, value.set);
    int changes = 0;
    connect(&options, &OptionsStore::changed, this, [&changes] { ++changes; });
    storage.restore();

    // Day counts are read as the Options dialog reads them, and text that is
    // no number is named in one message.
    Options expected;
    expected.agingInterval = 0;
    expected.defaultWarn = 0;
    expected.userTitles[0] = u"Account"_s;
    expected.userTitles[3] = u"A title longer than twent"_s;
    expected.displayReminder = false;
    expected.intro = false;
    QVERIFY(OptionsStore::current() == expected);
    QVERIFY(changes > 0);
    QCOMPARE(OptionsStore::current().agingInterval, 0);
    const QStringList problems = options.takeSettingProblems();
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.first().contains(u"Default Warning Days '3x'"_s));

    options.update([](Options &o) { o.confirmExit = false; });
    storage.save();
    QCOMPARE(stored(u"TfrmSched/EditAgingInterval_Text"_s), u"0"_s);
    QCOMPARE(stored(u"TfrmSched/UserTitle2_Text"_s), u"User Field 2"_s);
    QCOMPARE(stored(u"TfrmSched/CheckBoxBackupReminder_Checked"_s), u"True"_s);
    QCOMPARE(stored(u"TfrmSched/CheckBoxConfirmExit_Checked"_s), u"False"_s);
    // Days set by any other way are held to the same range.
    options.update([](Options &o) {
        o.agingInterval = 1500;
        o.defaultWarn = -2;
    });
    QCOMPARE(OptionsStore::current().agingInterval, Options::MaxDays);
    QCOMPARE(OptionsStore::current().defaultWarn, 0);
    disconnect(&options, nullptr, this, nullptr);
    options.reset();
}
