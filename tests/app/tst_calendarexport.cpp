#include "app/calendarexport.h"
#include "app/frmsched.h"
#include "app/windows.h"
#include "data/engine.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/icalendar.h"
#include "domain/options.h"
#include "domain/projection.h"
#include "main/windowset.h"
#include "mainwindowtest.h"
#include "schedulebuilder.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

namespace {
struct Item
{
    QString payee;
    QDate due;
    int frequency;
    QString units;
    QVariant warning;
    QVariant expense;
    QVariant income = {};
    QVariant endDate = {};
    QVariant userField1 = {};
};

void addItems(const QList<Item> &items)
{
    ScheduleBuilder schedule;
    for (const Item &item : items)
        schedule.item(item.payee)
            .due(item.due)
            .every(item.frequency, item.units)
            .warning(item.warning)
            .expense(item.expense)
            .income(item.income)
            .ends(item.endDate)
            .set(QStringLiteral("User Field 1"), item.userField1);
    schedule.write();
}

// The file as an independent parser reads it, after checking its physical
// lines: each ends in CRLF and holds at most 75 octets. The parser is the
// distribution's package, so the distribution's interpreter runs it.
QJsonArray parseWithPython(const QString &path)
{
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-c"), QStringLiteral(R"(
import json, sys, icalendar
raw = open(sys.argv[1], 'rb').read()
assert raw.endswith(b'\r\n'), 'no CRLF at the end'
for line in raw.split(b'\r\n')[:-1]:
    assert b'\n' not in line and b'\r' not in line, 'bare line break'
    assert len(line) <= 75, 'line of %d octets' % len(line)
    line.decode('utf-8')
cal = icalendar.Calendar.from_ical(raw)
out = []
for ev in cal.walk('VEVENT'):
    alarms = ev.walk('VALARM')
    out.append({
        'uid': str(ev['UID']),
        'start': ev.decoded('DTSTART').isoformat(),
        'end': ev.decoded('DTEND').isoformat(),
        'summary': str(ev['SUMMARY']),
        'description': str(ev['DESCRIPTION']),
        'alarms': len(alarms),
        'trigger': alarms[0].decoded('TRIGGER').total_seconds() if alarms else None,
    })
print(json.dumps(out))
)"),
            path });
    if (!py.waitForFinished(30000) || py.exitCode() != 0) {
        qWarning("%s", py.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(py.readAllStandardOutput()).array();
}

QAction *exportEntry()
{
    for (QAction *a : Windows::frmSched->findChildren<QAction *>())
        if (a->text() == QStringLiteral("Export to Calendar (.&ics)…"))
            return a;
    return nullptr;
}

void exportThroughTheMenu(const QString &path, int months, bool keep = false)
{
    whenModalOf("CalendarExportDialog", [&](QWidget *w) {
        auto *dialog = qobject_cast<CalendarExportDialog *>(w);
        dialog->monthsBox->setValue(months);
        dialog->fileEdit->setText(path);
        dialog->keepBox->setChecked(keep);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    exportEntry()->trigger();
}
} // namespace

class TestCalendarExport : public MainWindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void everyOccurrenceAsAnEvent();
    void keptUpToDate();
    void rewrittenAsideNewestWins();
    void unwritableFileIsReported();
    void lastDayHasNoDayAfter();

private:
    void start() { QVERIFY(startMainWindow()); }
};

void TestCalendarExport::everyOccurrenceAsAnEvent()
{
    const QDate today = m_env->clock.today();
    // Month ends, half months, an end date, an overdue item, an income, no
    // repeat, and text that needs escaping and folding inside UTF-8.
    addItems({
        { QStringLiteral("Rent; flat 2, back\\door"), QDate(2024, 1, 31), 1,
            QStringLiteral("Months"), 3, 950.0 },
        { QStringLiteral("Paper"), QDate(2024, 3, 16), 1, QStringLiteral("Half Months"), 0, 4.5 },
        { QStringLiteral("Gym"), QDate(2024, 3, 20), 2, QStringLiteral("Weeks"), 1, 25.0, {},
            QDate(2024, 5, 1) },
        { QStringLiteral("Salary"), QDate(2024, 3, 28), 1, QStringLiteral("Months"), 0, {},
            2100.0 },
        { QStringLiteral("Ünterhaltung für Gebühren und Ähnliches — lange Beschreibung"),
            QDate(2024, 4, 2), 0, QStringLiteral("One Time"), 2, 12.0, {}, {},
            QStringLiteral("Zeile eins\nZeile zwei; mit Komma, und Ende") },
    });
    start();
    QVERIFY(!QTest::currentTestFailed());

    const QString path = QDir(m_env->dir()).filePath(QStringLiteral("out/bills.ics"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    exportThroughTheMenu(QStringLiteral("%1/out/bills").arg(m_env->dir()), 6);
    QTRY_COMPARE(m_env->messages.shown().size(), 1);
    QCOMPARE(m_env->messages.shown().first().kind, QStringLiteral("inform"));
    // Only the finished file is left in the folder.
    QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{ "bills.ics" });

    const std::vector<Occurrence> expected
        = Projection::ahead(Projection::read(TableFiles::Schedule), today, today.addMonths(6));
    const QJsonArray events = parseWithPython(path);
    QCOMPARE(qsizetype(events.size()), qsizetype(expected.size()));
    QVERIFY(expected.size() > 20);
    QSet<QString> uids;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Occurrence &o = expected[i];
        const QJsonObject e = events[qsizetype(i)].toObject();
        const QString why = QStringLiteral("event %1").arg(i);
        uids.insert(e.value("uid").toString());
        // Only what is ahead: an overdue item once, today.
        const QDate day = o.overdue ? today : o.dueDate();
        QVERIFY2(day >= today, qPrintable(why));
        QCOMPARE(e.value("start").toString(), day.toString(Qt::ISODate));
        QCOMPARE(e.value("end").toString(), day.addDays(1).toString(Qt::ISODate));
        QCOMPARE(e.value("summary").toString(), ICalendar::summary(o.record, o.overdue));
        QCOMPARE(e.value("description").toString(),
            ICalendar::description(o.record, OptionsStore::current()));
        QCOMPARE(e.value("alarms").toInt(), 1);
        QCOMPARE(e.value("trigger").toDouble(),
            o.overdue ? 0.0 : -86400.0 * o.record.warningDays.toInt());
    }
    QCOMPARE(qsizetype(uids.size()), qsizetype(expected.size()));
    QCOMPARE(events[0].toObject().value("summary").toString(),
        QStringLiteral("Overdue: Rent; flat 2, back\\door — $950.00"));
    QCOMPARE(events[0].toObject().value("start").toString(), today.toString(Qt::ISODate));
    QCOMPARE(events[1].toObject().value("start").toString(), "2024-03-16");
    QString german;
    for (const QJsonValue &e : events)
        if (e.toObject().value("summary").toString().startsWith(QStringLiteral("Ünterhaltung")))
            german = e.toObject().value("description").toString();
    QVERIFY(german.contains(
        QStringLiteral("User Field 1: Zeile eins\nZeile zwei; mit Komma, und Ende")));

    // A second export of the same schedule gives the same events, so a
    // calendar that imports it again updates rather than doubles them.
    m_env->messages.clear();
    exportThroughTheMenu(path, 6);
    QTRY_COMPARE(m_env->messages.shown().size(), 1);
    const QJsonArray again = parseWithPython(path);
    QCOMPARE(again.size(), events.size());
    for (qsizetype i = 0; i < again.size(); ++i)
        QCOMPARE(again[i].toObject().value("uid"), events[i].toObject().value("uid"));
}

// With "Keep this file up to date" the file follows a change of the schedule
// and the choice is offered again next time.
void TestCalendarExport::keptUpToDate()
{
    addItems({ { "Rent", QDate(2024, 4, 1), 1, "Months", 3, 9.0 } });
    start();
    QVERIFY(!QTest::currentTestFailed());
    const QString path = QDir(m_env->dir()).filePath("live.ics");
    exportThroughTheMenu(path, 3, true);
    QTRY_COMPARE(m_env->messages.shown().size(), 1);
    QCOMPARE(parseWithPython(path).size(), 3);

    Table *list = Windows::frmSched->TableSched;
    list->first();
    list->edit();
    list->setValue("Description", "Rent & rates");
    list->post();
    QTRY_VERIFY_WITH_TIMEOUT(
        parseWithPython(path).first().toObject().value("summary").toString().startsWith(
            "Rent & rates"),
        10000);
    QVERIFY(m_env->messages.shown().size() == 1);

    CalendarExportDialog again;
    QCOMPARE(again.fileEdit->text(), path);
    QCOMPARE(again.monthsBox->value(), 3);
    QVERIFY(again.keepBox->isChecked());
}

// The kept file is rewritten on a worker; a newer rewrite stops the one
// running and writes the schedule as it is then, leaving one file.
void TestCalendarExport::rewrittenAsideNewestWins()
{
    ScheduleBuilder schedule;
    for (int i = 0; i < 400; ++i)
        schedule.item(QStringLiteral("Payee %1").arg(i))
            .due(QDate(2024, 3, 15))
            .expense(1)
            .every(1, QStringLiteral("Days"));
    schedule.write();
    CalendarExport::Choice choice;
    choice.months = 1;
    choice.file = QDir(m_env->dir()).filePath(QStringLiteral("live.ics"));
    choice.keep = true;
    choice.folder = QFileInfo(QDir::currentPath()).canonicalFilePath();
    choice.save();

    LiveCalendar live;
    live.rewrite();
    QVERIFY(live.writing());
    Table table(TableFiles::Schedule);
    table.open();
    table.first();
    table.edit();
    table.setValue(QStringLiteral("Description"), QStringLiteral("Zebra"));
    table.post();
    live.rewrite();
    QTRY_VERIFY_WITH_TIMEOUT(!live.writing(), 60000);
    QFile file(choice.file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("SUMMARY:Zebra"));
    QCOMPARE(QDir(m_env->dir()).entryList({ QStringLiteral("*.ics*"), QStringLiteral("~*") }),
        QStringList{ QStringLiteral("live.ics") });
    QVERIFY(m_env->messages.shown().isEmpty());
}

void TestCalendarExport::unwritableFileIsReported()
{
    addItems(
        { { QStringLiteral("Rent"), QDate(2024, 4, 1), 1, QStringLiteral("Months"), 3, 9.0 } });
    start();
    QVERIFY(!QTest::currentTestFailed());
    const QString path = QDir(m_env->dir()).filePath(QStringLiteral("missing/bills.ics"));
    exportThroughTheMenu(path, 12);
    QTRY_COMPARE(m_env->messages.shown().size(), 1);
    QCOMPARE(m_env->messages.shown().first().kind, QStringLiteral("error"));
    QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
}

// An item due on the last day a date can name: every date in the file has
// eight digits, or calendars refuse the file.
void TestCalendarExport::lastDayHasNoDayAfter()
{
    Occurrence o;
    o.record.description = QStringLiteral("Far off");
    o.record.dueDate = QDate(9999, 12, 31);
    const QByteArray file
        = ICalendar::calendar({ o }, Options(), QDateTime(QDate(2024, 3, 1), QTime(), Qt::UTC));
    QVERIFY(file.contains("DTSTART;VALUE=DATE:99991231\r\n"));
    static const QRegularExpression date(QStringLiteral(";VALUE=DATE:(\\d*)"));
    for (const QRegularExpressionMatch &m : date.globalMatch(QString::fromUtf8(file)))
        QCOMPARE(m.captured(1).size(), 8);
}

QTEST_MAIN(TestCalendarExport)
#include "tst_calendarexport.moc"
