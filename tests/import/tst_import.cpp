#include "../support/testsupport.h"
#include "app/frmsched.h"
#include "app/windows.h"
#include "data/attachedfile.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/options.h"
#include "import/delimitedtext.h"
#include "import/importplan.h"
#include "main/windowset.h"
#include "tools/frmimport.h"
#include "tools/frmimportmodel.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

using namespace DelimitedText;

namespace {
SourceSchedule schedule(const QString &payee, const QDate &due, double amount = -10,
    const QString &units = QStringLiteral("Months"), int frequency = 1)
{
    SourceSchedule s;
    s.description = payee;
    s.nextDue = due;
    s.amount = Money::fromDouble(amount);
    s.units = units;
    s.frequency = frequency;
    return s;
}

int scheduleCount()
{
    Table t(TableFiles::Schedule);
    t.open();
    return t.recordCount();
}

QList<Column> cols(std::initializer_list<Column> c)
{
    return QList<Column>(c);
}
} // namespace

class TstImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void detection_data();
    void detection();
    void repeatWords_data();
    void repeatWords();
    void badInput_data();
    void badInput();
    void csvToRows();
    void ruleMatching_data();
    void ruleMatching();
    void rowProblems();
    void duplicates();
    void commitAllOrNothing();
    void sourceFileUnchanged();
    void dialog();
};

void TstImport::detection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QChar>("delimiter");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<bool>("header");
    QTest::addColumn<int>("order");
    QTest::addColumn<QChar>("decimal");
    QTest::addColumn<QList<Column>>("columns");

    QTest::newRow("comma, names, M/D/Y")
        << QByteArray("Payee,Due Date,Amount,Frequency,Units\r\nRent,4/1/2024,-950.00,1,Months\r\n"
                      "Pay,3/28/2024,2100.50,2,Weeks\r\n")
        << QChar(u',') << int(Encoding::Utf8) << true << int(DateOrder::MonthDayYear) << QChar(u'.')
        << cols({ Column::Description, Column::DueDate, Column::Amount, Column::Frequency,
               Column::Units });
    QTest::newRow("semicolon, decimal comma, D/M/Y, 1252")
        << QByteArray("Beschreibung;Due;Expense;Income\nMiete f\xFCr April;25.04.2024;950,00;\n"
                      "Gehalt;30.04.2024;;2100,50\n")
        << QChar(u';') << int(Encoding::Windows1252) << true << int(DateOrder::DayMonthYear)
        << QChar(u',')
        << cols({ Column::Ignore, Column::DueDate, Column::Expense, Column::Income });
    QTest::newRow("tab, no header, Y-M-D, BOM")
        << QByteArray(
               "\xEF\xBB\xBFWater\t2024-05-02\t-40.5\tquarterly\nGas\t2024-05-09\t-61\tmonthly\n")
        << QChar(u'\t') << int(Encoding::Utf8) << false << int(DateOrder::YearMonthDay)
        << QChar(u'.')
        << cols({ Column::Description, Column::DueDate, Column::Amount, Column::Units });
    QTest::newRow("quoted delimiters inside fields")
        << QByteArray("\"Payee\",\"Due Date\",\"Expense Amount\"\n\"Smith, Jones; and \"\"Co\"\"\","
                      "\"13/1/2024\",\"1,234.50\"\n")
        << QChar(u',') << int(Encoding::Utf8) << true << int(DateOrder::DayMonthYear) << QChar(u'.')
        << cols({ Column::Description, Column::DueDate, Column::Expense });
}

void TstImport::detection()
{
    QFETCH(QByteArray, bytes);
    const DelimitedText::Options o = detect(bytes);
    QTEST(o.delimiter, "delimiter");
    QTEST(int(o.encoding), "encoding");
    QTEST(o.header, "header");
    QTEST(int(o.dateOrder), "order");
    QTEST(o.decimal, "decimal");
    QTEST(o.columns, "columns");
    // What was detected reads every row.
    const SourceBook book = read(bytes, o);
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    QVERIFY(!book.schedules.isEmpty());
    for (const SourceSchedule &s : book.schedules) {
        QVERIFY2(s.problem.isEmpty(), qPrintable(s.problem));
        QVERIFY(s.nextDue.isValid());
        QVERIFY(s.amount.has_value());
    }
}

void TstImport::repeatWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<QString>("units");
    const struct
    {
        const char *text;
        int frequency;
        const char *units;
    } cases[] = {
        { "Months", 1, "Months" },
        { "Half Months", 1, "Half Months" },
        { "One Time", 0, "One Time" },
        { "monthly", 1, "Months" },
        { "Weekly", 1, "Weeks" },
        { "yearly", 1, "Years" },
        { "daily", 1, "Days" },
        { "semi-monthly", 1, "Half Months" },
        { "twice a month", 1, "Half Months" },
        { "biweekly", 2, "Weeks" },
        { "bi-weekly", 2, "Weeks" },
        { "quarterly", 3, "Months" },
        { "every 2 weeks", 2, "Weeks" },
        { "3 months", 3, "Months" },
        { "once", 0, "One Time" },
        { "fortnights twice", -1, "" },
        { "", -1, "" },
    };
    for (const auto &c : cases)
        QTest::newRow(c.text) << QString::fromUtf8(c.text) << c.frequency
                              << QString::fromUtf8(c.units);
}

void TstImport::repeatWords()
{
    QFETCH(QString, text);
    QFETCH(int, frequency);
    const std::optional<Repeat> r = repeatFromText(text);
    QCOMPARE(r.has_value(), frequency >= 0);
    if (!r)
        return;
    QCOMPARE(r->frequency, frequency);
    QTEST(r->units, "units");
}

void TstImport::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << "The file is empty.";
    QTest::newRow("blank lines") << QByteArray("\r\n\r\n  \r\n") << "The file is empty.";
    QTest::newRow("stray quote") << QByteArray("Payee,Due Date\nAl \"Big\" Co,4/1/2024\n")
                                 << "Line 2: a stray quote";
    QTest::newRow("text after closing quote")
        << QByteArray("Payee,Due Date\n\"Rent\"x,4/1/2024\n") << "Line 2: text follows";
    QTest::newRow("quote never closed")
        << QByteArray("Payee,Due Date\nRent,4/1/2024\n\"Power,4/2/2024\n")
        << "Line 3: a quoted field is never closed";
    QTest::newRow("mixed line ends")
        << QByteArray("Payee,Due Date\r\nRent,4/1/2024\nPower,4/2/2024\r\n")
        << "Line 2 ends differently";
    QTest::newRow("UTF-16 BOM") << QByteArray("\xFF\xFEP\0a\0", 6) << "The file is in UTF-16";
    QTest::newRow("binary") << QByteArray("PK\3\4\0\0\0", 7) << "binary data";
    QTest::newRow("header only") << QByteArray("Payee,Due Date,Amount\n") << "no rows to import";
}

void TstImport::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    DelimitedText::Options o = detect(bytes);
    o.header = true;
    const SourceBook book = read(bytes, o);
    QVERIFY2(book.error.contains(message), qPrintable(book.error));
    QVERIFY(book.schedules.isEmpty());
}

void TstImport::csvToRows()
{
    DataEnv env;
    env.createTables();
    // Line ends inside a quoted field are the field's own, whatever the file's are.
    const QByteArray bytes("Payee;Due Date;Expense;Income;Repeat;Units;End Date;Warning Days;"
                           "Budget;User Field 2\r\n"
                           "\"Rent\nflat 2\";1.4.2024;950,00;;1;Months;1.3.2025;5;1.000,50;x\r\n"
                           "Pay;28.3.2024;;2.100,5;;biweekly;;;;\r\n"
                           "Gym;31.3.2024;-12,5;;2;Fortnights;;;;\r\n");
    DelimitedText::Options o = detect(bytes);
    o.dateOrder = DateOrder::DayMonthYear;
    const SourceBook book = read(bytes, o);
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    ImportPlan plan;
    plan.build(book.schedules);
    QCOMPARE(plan.rows().size(), 3);
    auto value = [&](int row, const char *field) {
        return plan.rows()[row].values[ImportPlan::fields().indexOf(QString::fromLatin1(field))];
    };
    QCOMPARE(value(0, "Description").toString(), QStringLiteral("Rent\nflat 2"));
    QCOMPARE(value(0, "Due Date").toDate(), QDate(2024, 4, 1));
    QCOMPARE(value(0, "Bill Amount").toDouble(), 950.0);
    QVERIFY(value(0, "Pay Amount").isNull());
    QCOMPARE(value(0, "End Date").toDate(), QDate(2025, 3, 1));
    QCOMPARE(value(0, "Warning Days").toInt(), 5);
    QCOMPARE(value(0, "Budget").toDouble(), 1000.5);
    QCOMPARE(value(0, "User Field 2").toString(), QStringLiteral("x"));
    QCOMPARE(value(1, "Pay Amount").toDouble(), 2100.5);
    QCOMPARE(value(1, "Frequency").toInt(), 2);
    QCOMPARE(value(1, "Units").toString(), QStringLiteral("Weeks"));
    QVERIFY(plan.rows()[0].ticked && plan.rows()[1].ticked);
    // A unit no one knows is shown, and the row waits.
    QVERIFY(!plan.rows()[2].ticked);
    QVERIFY(plan.rows()[2].problems.join(u' ').contains(QStringLiteral("'Fortnights'")));
}

void TstImport::ruleMatching_data()
{
    QTest::addColumn<QList<QDate>>("dates");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<QString>("units");
    QTest::addColumn<bool>("exact");
    auto series = [](QDate d, int count, auto step) {
        QList<QDate> out;
        for (int i = 0; i < count; ++i, d = step(d))
            out.append(d);
        return out;
    };
    const auto months = [](int n) { return [n](QDate d) { return d.addMonths(n); }; };
    const auto days = [](int n) { return [n](QDate d) { return d.addDays(n); }; };
    QTest::newRow("monthly on the 15th")
        << series(QDate(2024, 1, 15), 12, months(1)) << QDate() << 1 << "Months" << true;
    QTest::newRow("quarterly") << series(QDate(2024, 2, 10), 12, months(3)) << QDate() << 3
                               << "Months" << true;
    QTest::newRow("yearly") << series(QDate(2024, 6, 1), 12, months(12)) << QDate() << 1 << "Years"
                            << true;
    QTest::newRow("every 4 weeks")
        << series(QDate(2024, 1, 5), 12, days(28)) << QDate() << 4 << "Weeks" << true;
    QTest::newRow("every 10 days")
        << series(QDate(2024, 1, 5), 12, days(10)) << QDate() << 10 << "Days" << true;
    QTest::newRow("1st and 16th") << series(QDate(2024, 1, 1), 12,
        [](QDate d) {
            return d.day() == 1 ? d.addDays(15) : QDate(d.year(), d.month(), 1).addMonths(1);
        }) << QDate() << 1 << "Half Months"
                                  << true;
    QTest::newRow("ends after three")
        << series(QDate(2024, 1, 20), 3, months(1)) << QDate(2024, 3, 20) << 1 << "Months" << true;
    // The month's last day comes back to the 31st; an item keeps the 29th.
    QTest::newRow("last day of the month") << series(QDate(2024, 1, 31), 12, [](QDate d) {
        const QDate n = d.addDays(1).addMonths(1);
        return n.addDays(-1);
    }) << QDate() << 1 << "Months" << false;
    QTest::newRow("second Tuesday") << series(QDate(2024, 1, 9), 12, [](QDate d) {
        QDate n(d.year(), d.month(), 1);
        n = n.addMonths(1);
        while (n.dayOfWeek() != 2)
            n = n.addDays(1);
        return n.addDays(7);
    }) << QDate() << 1 << "Months" << false;
    QTest::newRow("once") << QList<QDate>{ QDate(2024, 5, 5) } << QDate() << 0 << "One Time"
                          << true;
}

void TstImport::ruleMatching()
{
    QFETCH(QList<QDate>, dates);
    QFETCH(QDate, end);
    const ImportPlan::Rule rule = ImportPlan::matchRule(dates, end);
    QTEST(rule.frequency, "frequency");
    QTEST(rule.units, "units");
    QTEST(rule.exact, "exact");
}

void TstImport::rowProblems()
{
    DataEnv env;
    env.createTables();
    ImportPlan plan;
    SourceSchedule unmapped = schedule(QStringLiteral("Club"), QDate(2024, 1, 9), -20, QString());
    unmapped.occurrences = { QDate(2024, 1, 9), QDate(2024, 2, 13), QDate(2024, 3, 12),
        QDate(2024, 4, 9), QDate(2024, 5, 14), QDate(2024, 6, 11) };
    unmapped.recurrenceText = QStringLiteral("every 2nd Tuesday");
    plan.build({ schedule(QString(300, u'x'), QDate(2024, 4, 1)),
        schedule(QStringLiteral("Huge"), QDate(2024, 4, 1), -1e13),
        schedule(QStringLiteral("Undated"), QDate()), unmapped });
    const QList<ImportRow> &rows = plan.rows();
    QVERIFY(rows[0].problems.join(u' ').contains(QStringLiteral("too long")));
    QVERIFY(rows[1].problems.join(u' ').contains(QStringLiteral("not a valid amount")));
    QVERIFY(!rows[0].canTick() && !rows[1].canTick());
    QVERIFY(rows[2].problems.contains(QStringLiteral("No due date")));
    QVERIFY(rows[2].canTick() && !rows[2].ticked);
    QVERIFY(!rows[3].ruleMatched && !rows[3].canTick());
    QVERIFY(rows[3].problems.join(u' ').contains(QStringLiteral("\"every 2nd Tuesday\"")));
    plan.setTicked(3, true);
    QCOMPARE(plan.tickedCount(), 0);
    plan.setAcceptNearest(3, true);
    QCOMPARE(plan.tickedCount(), 1);
    QCOMPARE(plan.commit(), QStringLiteral("1 item imported, 3 skipped"));
    Table t(TableFiles::Schedule);
    t.open();
    QCOMPARE(t.recordCount(), 1);
    QCOMPARE(t.value(QStringLiteral("Units")).toString(), QStringLiteral("Months"));
    QCOMPARE(t.value(QStringLiteral("Bill Amount")).toDouble(), 20.0);
}

void TstImport::duplicates()
{
    DataEnv env;
    env.createTables();
    ImportPlan first;
    first.build({ schedule(QStringLiteral("Rent"), QDate(2024, 4, 1)) });
    first.commit();
    ImportPlan plan;
    plan.loadExisting();
    plan.build({ schedule(QStringLiteral(" rent"), QDate(2024, 4, 1)),
        schedule(QStringLiteral("Rent"), QDate(2024, 5, 1)),
        schedule(QStringLiteral("Power"), QDate(2024, 4, 1)),
        schedule(QStringLiteral("Power"), QDate(2024, 4, 1)) });
    QList<bool> dup;
    for (const ImportRow &r : plan.rows())
        dup.append(r.duplicate);
    QCOMPARE(dup, (QList<bool>{ true, false, false, true }));
    QCOMPARE(plan.tickedCount(), 2);
    // A likely duplicate is the user's call.
    plan.setTicked(0, true);
    QCOMPARE(plan.tickedCount(), 3);
}

void TstImport::commitAllOrNothing()
{
    DataEnv env;
    env.createTables();
    ImportPlan plan;
    QList<SourceSchedule> sources;
    for (int i = 0; i < 600; ++i)
        sources.append(schedule(QStringLiteral("Item %1").arg(i), QDate(2024, 4, 1).addDays(i)));
    sources[450].description = QStringLiteral("refused");
    plan.build(sources);
    QCOMPARE(plan.tickedCount(), 600);
    {
        // The file refuses one row late in the write, as a full disk would.
        AttachedFile file(TableFiles::Schedule);
        Engine::instance().exec(QStringLiteral(
            "CREATE TEMP TRIGGER refuse BEFORE INSERT ON %1 WHEN "
            "NEW.Description = 'refused' BEGIN SELECT RAISE(ABORT, 'disk full'); END")
                                    .arg(file.table()));
        QVERIFY_THROWS_EXCEPTION(std::exception, plan.commit());
        QCOMPARE(scheduleCount(), 0);
        Engine::instance().exec(QStringLiteral("DROP TRIGGER temp.refuse"));
    }
    // Cancelled part way: nothing either.
    QCOMPARE(plan.commit([](int permille) { return permille < 500; }), QString());
    QCOMPARE(scheduleCount(), 0);
    QCOMPARE(plan.commit(), QStringLiteral("600 items imported, 0 skipped"));
    QCOMPARE(scheduleCount(), 600);
}

void TstImport::sourceFileUnchanged()
{
    DataEnv env;
    env.createTables();
    const QString path = env.dir() + QStringLiteral("/bills.csv");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Payee,Due Date,Amount,Units\nRent,4/1/2024,-950,monthly\nPay,4/5/2024,2000,"
                "biweekly\n");
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    const QFileInfo before(path);
    QString error;
    const QByteArray bytes = SourceFile::read(path, &error);
    ImportPlan plan;
    plan.loadExisting();
    plan.build(read(bytes, detect(bytes)).schedules);
    QCOMPARE(plan.commit(), QStringLiteral("2 items imported, 0 skipped"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bytes);
    QCOMPARE(QFileInfo(path).lastModified(), before.lastModified());
    QCOMPARE(QDir(env.dir()).entryList({ QStringLiteral("bills*") }, QDir::Files),
        QStringList{ QStringLiteral("bills.csv") });
}

void TstImport::dialog()
{
    TestEnv env;
    createAllWindows();
    auto cleanup = qScopeGuard([] { destroyAllWindows(); });
    TfrmSched *main = Windows::frmSched;
    OptionsStore::instance().update([](::Options &o) {
        o.intro = false;
        o.displayReminder = false;
        o.confirmExit = false;
        o.backupReminder = false;
    });
    QVERIFY(main->FormCreate());
    QTRY_VERIFY_WITH_TIMEOUT(main->startupDone(), 2000);
    const QString bad = env.dir() + QStringLiteral("/bad.csv");
    const QString good = env.dir() + QStringLiteral("/good.csv");
    for (const auto &[path, bytes] :
        { std::pair{ bad, QByteArray("Payee,Due\nAl \"B\" Co,4/1/2024\n") },
            std::pair{ good,
                QByteArray("Payee,Due Date,Amount,Units\nRent,13/4/2024,-950,monthly\n"
                           "Gym,14/4/2024,-12.5,fortnights\nPay,15/4/2024,2000,biweekly\n") } }) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    whenModalOf("TFrmImport", [&](QWidget *w) {
        auto *d = static_cast<TFrmImport *>(w);
        QTest::keyClick(d, Qt::Key_F1);
        d->EditFile->setText(bad);
        d->NextClick();
        QCOMPARE(d->Pages->currentWidget(), d->PageMapping);
        QVERIFY(d->LabelMessage->text().contains(QStringLiteral("Line 2: a stray quote")));
        d->NextClick(); // refused: nothing to read
        QCOMPARE(d->Pages->currentWidget(), d->PageMapping);
        d->BackClick();
        d->EditFile->setText(good);
        // One Return is one step: it never runs on into the import.
        QTest::keyClick(d->EditFile, Qt::Key_Return);
        QCOMPARE(d->Pages->currentWidget(), d->PageMapping);
        QCOMPARE(d->ComboDateOrder->currentIndex(), int(DateOrder::DayMonthYear));
        d->NextClick();
        QCOMPARE(d->Pages->currentWidget(), d->PagePreview);
        QAbstractItemModel *rows = d->GridRows->model();
        QCOMPARE(rows->rowCount(), 3);
        QCOMPARE(rows->index(1, ImportRowsModel::Tick).data(Qt::CheckStateRole).toInt(),
            int(Qt::Unchecked));
        // Space on any cell of a row ticks it; Return imports.
        d->GridRows->setCurrentIndex(
            rows->index(2, ImportRowsModel::fieldColumn(QStringLiteral("Due Date"))));
        QTest::keyClick(d->GridRows, Qt::Key_Space);
        QCOMPARE(rows->index(2, ImportRowsModel::Tick).data(Qt::CheckStateRole).toInt(),
            int(Qt::Unchecked));
        QTest::keyClick(d->GridRows, Qt::Key_Return);
    });
    main->ImportClick();
    QCOMPARE(env.desktop.helpFiles.size(), 1);
    QVERIFY(env.desktop.helpFiles[0].endsWith(QStringLiteral("ds_help/importing.hta")));
    QCOMPARE(env.messages.texts(), QStringList{ QStringLiteral("1 item imported, 2 skipped") });
    // The list the main window shows has the item.
    QCOMPARE(main->TableSched->recordCount(), 1);
    QCOMPARE(
        main->TableSched->value(QStringLiteral("Description")).toString(), QStringLiteral("Rent"));
}

QTEST_MAIN(TstImport)
#include "tst_import.moc"
