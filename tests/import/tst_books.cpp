#include "import/books.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The files under files/ were written by HomeBank 5.6, KMyMoney 5.1 and
// GnuCash 4.13 (each with one schedule entered in the program itself; GnuCash
// saved the same book once more in SQLite); the Money Manager Ex file is built
// from that program's published schema.
namespace {
QString bookPath(const char *name)
{
    return QStringLiteral(DS_BOOKS_DIR "/") + QLatin1String(name);
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString dates(const QList<QDate> &list, int count)
{
    QStringList out;
    for (const QDate &d : list.mid(0, count))
        out << d.toString(Qt::ISODate);
    return out.join(u' ');
}
} // namespace

class TestBooks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void schedules_data();
    void schedules();
    void countsAndFormats_data();
    void countsAndFormats();
    void sqliteMatchesXml();
    void homeBankRecurrenceFlags();
    void badInput_data();
    void badInput();
    void sourceUnchanged();
    void cancel();
};

void TestBooks::schedules_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("firstDates"); // nextDue and those after it
    QTest::addColumn<QString>("rule"); // frequency and units, as an item states it
    QTest::addColumn<QString>("endDate");

    // HomeBank: a month step gives back the days February took; "after"
    // moves a weekend date to Monday, "before" to Friday; "skip" moves the
    // date itself and the period counts on from there; a limit of 5.
    QTest::newRow("hb rent on the 31st") << "homebank.xhb" << 5 << "Landlord"
                                         << "-950"
                                         << "2027-01-31 2027-02-28 2027-03-31 2027-04-30"
                                         << "1 Months"
                                         << "";
    QTest::newRow("hb non-ASCII, weekend after") << "homebank.xhb" << 4 << "Électricité Müller"
                                                 << "-62.35"
                                                 << "2027-02-15 2027-04-15 2027-06-15 2027-08-16"
                                                 << "0 "
                                                 << "";
    QTest::newRow("hb income, weekend before") << "homebank.xhb" << 6 << "Employer"
                                               << "2500"
                                               << "2027-02-26 2027-03-26 2027-04-26 2027-05-26 "
                                                  "2027-06-25"
                                               << "0 "
                                               << "";
    QTest::newRow("hb limit") << "homebank.xhb" << 0 << "Gym"
                              << "-12.5"
                              << "2027-02-01 2027-02-08 2027-02-15 2027-02-22 2027-03-01"
                              << "1 Weeks"
                              << "2027-03-01";
    QTest::newRow("hb skip weekends") << "homebank.xhb" << 3 << "Pharmacy"
                                      << "-3.2"
                                      << "2027-02-05 2027-02-08 2027-02-11 2027-02-15"
                                      << "0 "
                                      << "";
    QTest::newRow("hb entered in HomeBank") << "homebank.xhb" << 2 << "Zeitungsverlag Köln"
                                            << "-9.99"
                                            << "2026-12-07 2027-01-07"
                                            << "1 Months"
                                            << "";
    // KMyMoney: the last day of the month moved to the Friday before; half
    // months; a month step keeps the start's day where the month has it, so
    // the fourth date (31 October) falls after the end date KMyMoney set.
    QTest::newRow("kmy income, last day, before") << "kmymoney.kmy" << 2 << "Employer"
                                                  << "2500"
                                                  << "2027-02-26 2027-03-31 2027-04-30"
                                                  << "0 "
                                                  << "";
    QTest::newRow("kmy half months") << "kmymoney.kmy" << 4 << "Streaming Co"
                                     << "-9.99"
                                     << "2027-02-14 2027-02-28 2027-03-15 2027-03-31"
                                     << "1 Half Months"
                                     << "";
    QTest::newRow("kmy entered in KMyMoney, end date") << "kmymoney.kmy" << 8 << "Landlord"
                                                       << "-45.67"
                                                       << "2027-01-31 2027-04-30 2027-07-31"
                                                       << "3 Months"
                                                       << "2027-10-30";
    QTest::newRow("kmy non-ASCII, weekend after") << "kmymoney.kmy" << 1 << "Électricité Müller"
                                                  << "-62.35"
                                                  << "2027-02-15 2027-04-15 2027-06-15 2027-08-16"
                                                  << "0 "
                                                  << "";
    QTest::newRow("kmy once") << "kmymoney.kmy" << 6 << "Gym"
                              << "-40"
                              << "2027-04-10"
                              << "0 One Time"
                              << "";
    // GnuCash: the 31st moved back skips January (its Friday, the 29th, is
    // before the day GnuCash starts counting from); n-th and last weekdays;
    // two weekdays a week; a count of six; an end date.
    QTest::newRow("gc weekend back") << "gnucash.gnucash" << 0 << "Landlord"
                                     << "-950"
                                     << "2027-02-26 2027-03-31 2027-04-30 2027-05-31"
                                     << "0 "
                                     << "";
    QTest::newRow("gc income, end of month") << "gnucash.gnucash" << 1 << "Employer GmbH"
                                             << "2500"
                                             << "2027-02-28 2027-03-31"
                                             << "0 "
                                             << "";
    QTest::newRow("gc non-ASCII, 2nd Tuesday every 2 months")
        << "gnucash.gnucash" << 2 << "Électricité Müller"
        << "-62.35"
        << "2027-02-09 2027-04-13 2027-06-08"
        << "0 "
        << "";
    QTest::newRow("gc last Friday, end date") << "gnucash.gnucash" << 3 << "Sportverein"
                                              << "-15"
                                              << "2027-02-26 2027-03-26 2027-04-30"
                                              << "0 "
                                              << "2027-12-31";
    QTest::newRow("gc Mondays and Thursdays") << "gnucash.gnucash" << 4 << "Gym"
                                              << "-12.5"
                                              << "2027-02-01 2027-02-04 2027-02-08"
                                              << "0 "
                                              << "";
    QTest::newRow("gc count") << "gnucash.gnucash" << 6 << "Pharmacy"
                              << "-3.2"
                              << "2027-02-05 2027-02-08 2027-02-11 2027-02-14 2027-02-17 "
                                 "2027-02-20"
                              << "3 Days"
                              << "2027-02-20";
    QTest::newRow("gc once") << "gnucash.gnucash" << 8 << "Concert"
                             << "-75"
                             << "2027-04-10"
                             << "0 One Time"
                             << "";
    QTest::newRow("gc entered in GnuCash") << "gnucash.gnucash" << 9 << "Zeitungsverlag Köln"
                                           << "-9.99"
                                           << "2026-12-07 2027-01-07 2027-02-08"
                                           << "0 "
                                           << "";
    // Money Manager Ex steps from the last date, so the 31st drifts to the
    // 28th after February; last business day; counts; "in 2 months".
    QTest::newRow("mmex month drift") << "mmex.mmb" << 0 << "Landlord"
                                      << "-950"
                                      << "2027-01-31 2027-02-28 2027-03-28"
                                      << "1 Months"
                                      << "";
    QTest::newRow("mmex income, last business day") << "mmex.mmb" << 2 << "Employer"
                                                    << "2500"
                                                    << "2027-02-26 2027-03-31 2027-04-30"
                                                    << "0 "
                                                    << "";
    QTest::newRow("mmex count") << "mmex.mmb" << 3 << "Gym"
                                << "-12.5"
                                << "2027-02-01 2027-02-08 2027-02-15 2027-02-22 2027-03-01"
                                << "1 Weeks"
                                << "2027-03-01";
    QTest::newRow("mmex in 2 months") << "mmex.mmb" << 5 << "Dentist"
                                      << "-80"
                                      << "2027-03-10 2027-05-10"
                                      << "0 "
                                      << "2027-05-10";
    QTest::newRow("mmex transfer") << "mmex.mmb" << 6 << "Transfer to Savings"
                                   << "-100"
                                   << "2027-02-05 2027-02-19"
                                   << "2 Weeks"
                                   << "";
    QTest::newRow("mmex every 4 months") << "mmex.mmb" << 13 << "Streaming Co"
                                         << "-25"
                                         << "2027-01-30 2027-05-30 2027-09-30"
                                         << "4 Months"
                                         << "";
}

void TestBooks::schedules()
{
    QFETCH(QString, file);
    QFETCH(int, index);
    const SourceBook book = Books::read(bookPath(file.toUtf8().constData()));
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    QVERIFY(index < book.schedules.size());
    const SourceSchedule &s = book.schedules.at(index);
    QTEST(s.description, "description");
    QVERIFY(s.amount.has_value());
    QTEST(QString::fromLatin1(s.amount->text()), "amount");
    QFETCH(QString, firstDates);
    const int count = int(firstDates.count(u' ')) + 1;
    QCOMPARE(dates(s.occurrences, count), firstDates);
    QCOMPARE(s.nextDue, s.occurrences.first());
    QTEST(QStringLiteral("%1 %2").arg(s.frequency).arg(s.units), "rule");
    QTEST(s.endDate.toString(Qt::ISODate), "endDate");
    QVERIFY(s.occurrences.size() <= 12);
    QVERIFY2(s.problem.isEmpty(), qPrintable(s.problem));
    QVERIFY(!s.recurrenceText.isEmpty());
}

void TestBooks::countsAndFormats_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("count");
    // HomeBank's plain template (not scheduled) is no schedule.
    QTest::newRow("homebank") << "homebank.xhb"
                              << "HomeBank" << 7;
    QTest::newRow("kmymoney") << "kmymoney.kmy"
                              << "KMyMoney" << 9;
    QTest::newRow("gnucash") << "gnucash.gnucash"
                             << "GnuCash" << 10;
    QTest::newRow("mmex") << "mmex.mmb"
                          << "Money Manager Ex" << 16;
}

void TestBooks::countsAndFormats()
{
    QFETCH(QString, file);
    const SourceBook book = Books::read(bookPath(file.toUtf8().constData()));
    QTEST(book.format, "format");
    QTEST(int(book.schedules.size()), "count");
}

// GnuCash saved the same book in SQLite: the same schedules come out.
void TestBooks::sqliteMatchesXml()
{
    const SourceBook xml = Books::read(bookPath("gnucash.gnucash"));
    const SourceBook sql = Books::read(bookPath("gnucash-sqlite.gnucash"));
    QVERIFY2(sql.error.isEmpty(), qPrintable(sql.error));
    QCOMPARE(sql.schedules.size(), xml.schedules.size());
    for (qsizetype i = 0; i < xml.schedules.size(); ++i) {
        const SourceSchedule &a = xml.schedules.at(i);
        const SourceSchedule &b = sql.schedules.at(i);
        QCOMPARE(b.description, a.description);
        QCOMPARE(b.amount, a.amount);
        QCOMPARE(b.occurrences, a.occurrences);
        QCOMPARE(b.endDate, a.endDate);
        QCOMPARE(b.recurrenceText, a.recurrenceText);
        QCOMPARE(b.note, a.note);
        QCOMPARE(b.units, a.units);
    }
}

// HomeBank 5.9 moved the schedule's flags to "recflg" and added rules by
// weekday, which are reported rather than guessed.
void TestBooks::homeBankRecurrenceFlags()
{
    const QByteArray xhb = "<homebank v=\"1.6\"><pay key=\"1\" name=\"Gas\"/>"
                           "<fav amount=\"-30\" flags=\"0\" recflg=\"3\" limit=\"2\" payee=\"1\" "
                           "nextdate=\"740012\" every=\"1\" unit=\"2\" gap=\"0\"/>"
                           "<fav amount=\"-40\" flags=\"4\" recflg=\"0\" nextdate=\"740012\" "
                           "every=\"1\" unit=\"2\"/>"
                           "<fav amount=\"-50\" recflg=\"5\" ordn=\"2\" wkdy=\"2\" payee=\"1\" "
                           "nextdate=\"740012\" every=\"1\" unit=\"2\"/></homebank>";
    const SourceBook book = Books::readBytes(xhb, QStringLiteral("new.xhb"));
    QCOMPARE(book.schedules.size(), 2);
    QCOMPARE(dates(book.schedules.at(0).occurrences, 12), QStringLiteral("2027-01-31 2027-02-28"));
    QCOMPARE(book.schedules.at(0).endDate, QDate(2027, 2, 28));
    QVERIFY(book.schedules.at(1).occurrences.isEmpty());
    QVERIFY(!book.schedules.at(1).problem.isEmpty());
}

void TestBooks::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray kmy = bytesOf(bookPath("kmymoney.kmy"));
    const QByteArray mmb = bytesOf(bookPath("mmex.mmb"));
    const QByteArray hb = bytesOf(bookPath("homebank.xhb"));
    QTest::newRow("truncated gzip")
        << kmy.left(kmy.size() / 2) << "ends before its compressed data does";
    QTest::newRow("garbage") << QByteArray("\x01\x02garbage\xff\xfe", 11)
                             << "is not a HomeBank, KMyMoney, GnuCash or Money Manager Ex file";
    QTest::newRow("empty") << QByteArray() << "is not a HomeBank";
    QTest::newRow("XML that is no book")
        << QByteArray("<?xml version=\"1.0\"?><html><body/></html>") << "is not a HomeBank";
    QTest::newRow("cut-off XML") << hb.left(hb.indexOf("<fav") + 30) << "is damaged";
    QTest::newRow("HomeBank without schedules")
        << QByteArray("<homebank v=\"1.4\"><pay key=\"1\" name=\"A\"/>"
                      "<fav key=\"1\" amount=\"-5\" flags=\"0\" nextdate=\"740000\"/></homebank>")
        << "holds no scheduled transactions";
    QTest::newRow("KMyMoney without schedules") << QByteArray(
        "<!DOCTYPE KMYMONEY-FILE><KMYMONEY-FILE><SCHEDULES count=\"0\"/>"
        "</KMYMONEY-FILE>") << "holds no scheduled transactions";
    QTest::newRow("GnuCash without schedules")
        << QByteArray("<gnc-v2 xmlns:gnc=\"g\"><gnc:book/></gnc-v2>")
        << "holds no scheduled transactions";
    QTest::newRow("cut-off SQLite") << mmb.left(4096) << "damaged";
    QTest::newRow("SQLite header only") << QByteArray("SQLite format 3\0", 16) << "damaged";
}

void TestBooks::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const SourceBook book = Books::readBytes(bytes, QStringLiteral("bad.file"));
    QVERIFY2(book.error.contains(message), qPrintable(book.error));
    QVERIFY(book.error.contains(QLatin1String("bad.file")));
    QVERIFY(book.schedules.isEmpty());
}

// Reading a book changes nothing in it, not even its time stamp.
void TestBooks::sourceUnchanged()
{
    QTemporaryDir dir;
    for (const char *name : { "homebank.xhb", "kmymoney.kmy", "gnucash.gnucash",
             "gnucash-sqlite.gnucash", "mmex.mmb" }) {
        const QString copy = dir.filePath(QLatin1String(name));
        QVERIFY(QFile::copy(bookPath(name), copy));
        const QByteArray before = bytesOf(copy);
        const QDateTime modified = QFileInfo(copy).lastModified();
        const QStringList entries = QDir(dir.path()).entryList(QDir::Files);
        QVERIFY(!Books::read(copy).schedules.isEmpty());
        QCOMPARE(bytesOf(copy), before);
        QCOMPARE(QFileInfo(copy).lastModified(), modified);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), entries);
    }
}

void TestBooks::cancel()
{
    QByteArray big = "<homebank v=\"1.4\"><pay key=\"1\" name=\"A\"/>";
    for (int i = 0; i < 5000; ++i)
        big += "<fav key=\"" + QByteArray::number(i)
            + "\" amount=\"-5\" flags=\"4\" payee=\"1\" nextdate=\"740000\" every=\"1\" "
              "unit=\"2\"/>";
    big += "</homebank>";
    int calls = 0;
    const SourceBook whole = Books::readBytes(big, QStringLiteral("big.xhb"), [&](int permille) {
        ++calls;
        return permille >= 0 && permille < 1000;
    });
    QCOMPARE(whole.schedules.size(), 5000);
    QVERIFY(calls > 0);
    const SourceBook cancelled
        = Books::readBytes(big, QStringLiteral("big.xhb"), [](int) { return false; });
    QVERIFY(cancelled.schedules.isEmpty());
    QVERIFY2(cancelled.error.contains(QLatin1String("cancelled")), qPrintable(cancelled.error));
}

QTEST_GUILESS_MAIN(TestBooks)
#include "tst_books.moc"
