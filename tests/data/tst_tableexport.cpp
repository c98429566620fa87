// The exported files read back by readers that are not ours: pxlib's own
// reading functions and the Paradox header bytes, python3-dbf, Python's csv.

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "data/tableexport.h"
#include "data/tablefiles.h"
#include "support/dataenv.h"
#include "support/schedulebuilder.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

extern "C" {
#include <paradox.h>
}

#include <SQLiteCpp/Database.h>

#include <csignal>
#include <sys/resource.h>

using TableExport::Type;

namespace {
const QString Long = QString(QChar(0xFC)) + QString(253, QLatin1Char('x')) + QChar(0xFC);

// Each record as field -> value; missing fields are blank.
QList<QVariantMap> sourceRecords()
{
    QList<QVariantMap> r;
    r.append({ { "Pay Date", QDate(2024, 3, 1) }, { "Due Date", QDate(2024, 3, 15) },
        { "Description", QStringLiteral("Gas \"City\", Inc.\r\nline two") },
        { "Bill Amount", 1234.56 }, { "Frequency", 1 }, { "Units", "Months" },
        { "Warning Days", 3 }, { "End Date", QDate(9999, 12, 31) },
        { "User Field 1", QStringLiteral("caf\u00e9 \u20ac5") }, { "User Field 2", Long },
        { "PayNow", QString(QChar(0xFC)) }, { "Budget", -0.01 }, { "Balance", 0.0 } });
    // Blanks everywhere but the required fields; a zero is not a blank.
    r.append({ { "Description", QStringLiteral("Rent") }, { "Frequency", 0 } });
    r.append({ { "Due Date", QDate(1, 1, 1) }, { "Description", Long },
        { "Pay Amount", 999999999999.99 }, { "Frequency", -5 }, { "Warning Days", 0 },
        { "Process Date", QDate(1899, 12, 31) }, { "User Field 3", QStringLiteral("  lead") },
        { "User Field 4", QStringLiteral("\u0141\u00f3d\u017e") } });
    for (int i = 0; i < 7; ++i)
        r.append({ { "Description", QStringLiteral("Item %1").arg(i) }, { "Frequency", i },
            { "Bill Amount", i * 10.5 } });
    // Amounts that arithmetic on the double would shift in the last decimal,
    // and the small integer that Paradox cannot hold.
    r.append({ { "Description", QStringLiteral("Exact") }, { "Frequency", 1 },
        { "Budget", 920934535356.0565 }, { "Balance", -413721456277.3475 },
        { "Warning Days", -32768 } });
    return r;
}

void fillSchedule(const QList<QVariantMap> &records)
{
    ScheduleBuilder schedule;
    for (const QVariantMap &record : records) {
        schedule.item();
        for (auto it = record.begin(); it != record.end(); ++it)
            schedule.set(it.key(), it.value());
    }
    schedule.write();
}

// The source's values in the table's order (by key), null for blank.
QList<QList<QVariant>> sourceRows(const Table &t)
{
    QList<QList<QVariant>> rows;
    for (int r = 0; r < t.recordCount(); ++r) {
        QList<QVariant> row;
        for (int f = 0; f < t.fields().size(); ++f)
            row.append(t.rowValue(r, f));
        rows.append(row);
    }
    return rows;
}

QJsonDocument runPython(const QString &script, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{ QStringLiteral("-c"), script } + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning().noquote() << p.readAllStandardError();
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint32 le(const QByteArray &b, int at, int size)
{
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

// What a Windows-1252 table holds of the test's texts: the one letter it lacks is "?".
QString inCodePage(QString text)
{
    return text.replace(QChar(0x141), QLatin1Char('?'));
}

qint64 statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf(key);
    return at < 0 ? 0 : text.mid(at + qstrlen(key), 24).trimmed().split(' ').value(0).toLongLong();
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}
} // namespace

class TestTableExport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<DataEnv>();
        m_env->createTables();
        fillSchedule(sourceRecords());
        m_table = std::make_unique<Table>(TableFiles::Schedule);
        m_table->open();
        m_outDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_outDir->isValid());
    }
    void cleanup()
    {
        m_outDir.reset();
        m_table.reset();
        m_env.reset();
    }

    void paradoxReadsBackThroughPxlib();
    void dbaseReadsBackInPythonDbf();
    void textReadsBackInPythonCsv();
    void firstRowAndCount();
    void badDestinationsLeaveNothingBehind_data();
    void badDestinationsLeaveNothingBehind();
    void dbaseFieldNamesAreShortAndUnique();
    void cancelLeavesNothingBehind_data();
    void cancelLeavesNothingBehind();
    void paradoxMemoryStaysFlat();

private:
    TableExport::Result exportTo(Type type, const QString &name, int first = 0, int count = 0)
    {
        try {
            return TableExport::run(
                *m_table, { QDir(m_outDir->path()).filePath(name), type, first, count });
        } catch (const EngineError &e) {
            qWarning().noquote() << e.message();
            throw;
        }
    }

    std::unique_ptr<DataEnv> m_env;
    std::unique_ptr<Table> m_table;
    std::unique_ptr<QTemporaryDir> m_outDir;
};

void TestTableExport::paradoxReadsBackThroughPxlib()
{
    const auto result = exportTo(Type::Paradox, QStringLiteral("schedule.DB"));
    QCOMPARE(result.records, 11);
    QCOMPARE(result.changedValues, 1); // the euro sign is in the code page; "\r\n" is kept
    QCOMPARE(result.blankedValues, 1); // -32768 is written blank
    const QString path = m_outDir->filePath(QStringLiteral("schedule.DB"));
    const QList<FieldDef> &fields = m_table->fields();

    // The header against the Paradox format.
    const QByteArray b = fileBytes(path);
    const int recordSize = 4 + 4 + 255 + 8 + 8 + 2 + 15 + 2 + 4 + 4 * 255 + 4 + 4 + 1 + 8 + 8;
    QCOMPARE(int(le(b, 0x00, 2)), recordSize);
    QCOMPARE(int(quint8(b[0x04])), 2); // a table without a key
    QCOMPARE(int(le(b, 0x06, 4)), 11);
    QCOMPARE(int(le(b, 0x21, 2)), fields.size());
    QCOMPARE(int(le(b, 0x49, 4)), 11); // the counter continues after the largest key
    QCOMPARE(int(le(b, 0x6A, 2)), 1252);
    const QList<QPair<int, int>> expected = { { 2, 4 }, { 2, 4 }, { 1, 255 }, { 5, 8 }, { 5, 8 },
        { 3, 2 }, { 1, 15 }, { 3, 2 }, { 2, 4 }, { 1, 255 }, { 1, 255 }, { 1, 255 }, { 1, 255 },
        { 0x16, 4 }, { 2, 4 }, { 1, 1 }, { 5, 8 }, { 5, 8 } };
    for (int f = 0; f < expected.size(); ++f) {
        QCOMPARE(int(quint8(b[0x78 + 2 * f])), expected[f].first);
        QCOMPARE(int(quint8(b[0x78 + 2 * f + 1])), expected[f].second);
    }

    // The records through pxlib's own reader.
    pxdoc_t *doc = PX_new();
    QVERIFY(PX_open_file(doc, QFile::encodeName(path).constData()) == 0);
    QVERIFY(PX_set_parameter(doc, "targetencoding", "UTF-8") == 0);
    QCOMPARE(PX_get_num_records(doc), 11);
    QCOMPARE(PX_get_num_fields(doc), int(fields.size()));
    std::vector<char> record(size_t(PX_get_recordsize(doc)));
    const auto rows = sourceRows(*m_table);
    for (int r = 0; r < rows.size(); ++r) {
        QVERIFY(PX_get_record(doc, r, record.data()));
        int offset = 0;
        for (int f = 0; f < fields.size(); ++f) {
            pxfield_t *pf = PX_get_field(doc, f);
            QCOMPARE(QString::fromLatin1(pf->px_fname), fields[f].name);
            char *data = record.data() + offset;
            const QVariant &want = rows[r][f];
            const auto context
                = qPrintable(QStringLiteral("record %1 field %2").arg(r).arg(fields[f].name));
            switch (fields[f].type) {
            case FieldType::Text: {
                char *text = nullptr;
                const int got = PX_get_data_alpha(doc, data, pf->px_flen, &text);
                const QString value = got > 0 ? QString::fromUtf8(text) : QString();
                QVERIFY2(value == inCodePage(want.toString()), context);
                if (text)
                    doc->free(doc, text);
                break;
            }
            case FieldType::Money: {
                double value = 0;
                const int got = PX_get_data_double(doc, data, 8, &value);
                QVERIFY2((got > 0) == !want.isNull(), context);
                if (got > 0)
                    QCOMPARE(value, want.toDouble());
                break;
            }
            case FieldType::SmallInt: {
                short value = 0;
                const int got = PX_get_data_short(doc, data, 2, &value);
                QVERIFY2((got > 0) == !(want.isNull() || want.toInt() == -32768), context);
                if (got > 0)
                    QCOMPARE(int(value), want.toInt());
                break;
            }
            case FieldType::Date:
            case FieldType::Counter: {
                // pxlib reports a blank long as a value: blanks are checked on the bytes.
                const bool blank = std::all_of(data, data + 4, [](char c) { return c == 0; });
                QVERIFY2(blank == want.isNull(), context);
                if (blank)
                    break;
                long value = 0;
                QVERIFY(PX_get_data_long(doc, data, 4, &value) > 0);
                if (fields[f].type == FieldType::Counter) {
                    QCOMPARE(qlonglong(value), want.toLongLong());
                } else {
                    int y = 0, m = 0, d = 0;
                    PX_SdnToGregorian(value + 1721425, &y, &m, &d);
                    QVERIFY2(QDate(y, m, d) == want.toDate(), context);
                }
                break;
            }
            }
            offset += pf->px_flen;
        }
    }
    PX_close(doc);
    PX_delete(doc);
}

void TestTableExport::dbaseReadsBackInPythonDbf()
{
    const auto result = exportTo(Type::DBase, QStringLiteral("schedule.DBF"));
    QCOMPARE(result.records, 11);
    QCOMPARE(fileBytes(m_outDir->filePath(QStringLiteral("schedule.CPG"))), QByteArray("1252"));
    QCOMPARE(int(quint8(fileBytes(m_outDir->filePath(QStringLiteral("schedule.DBF")))[29])), 0x57);
    QCOMPARE(filesIn(m_outDir->path()).join(u' '), QStringLiteral("schedule.CPG schedule.DBF"));

    const QJsonDocument json = runPython(QStringLiteral(R"(
import dbf, json, sys, datetime
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
rows = []
for r in t:
    row = []
    for name in t.field_names:
        v = r[name]
        if isinstance(v, datetime.date):
            v = v.isoformat()
        elif isinstance(v, str):
            v = v.rstrip()
        elif v is not None:
            v = float(v)
        row.append(v)
    rows.append(row)
print(json.dumps({"names": t.field_names, "rows": rows}))
)"),
        { m_outDir->filePath(QStringLiteral("schedule.DBF")) });
    const QJsonArray names = json[QStringLiteral("names")].toArray();
    const QJsonArray rows = json[QStringLiteral("rows")].toArray();
    const QList<FieldDef> &fields = m_table->fields();
    QCOMPARE(names.size(), fields.size());
    QCOMPARE(names[2].toString(), QStringLiteral("descriptio"));
    QCOMPARE(names[9].toString(), QStringLiteral("userfield1"));
    const auto source = sourceRows(*m_table);
    QCOMPARE(rows.size(), source.size());
    for (int r = 0; r < source.size(); ++r) {
        const QJsonArray row = rows[r].toArray();
        for (int f = 0; f < fields.size(); ++f) {
            const QVariant &want = source[r][f];
            const QJsonValue got = row[f];
            const auto context
                = qPrintable(QStringLiteral("record %1 field %2").arg(r).arg(fields[f].name));
            if (want.isNull()) {
                QVERIFY2(got.isNull() || got.toString().isEmpty(), context);
                continue;
            }
            switch (fields[f].type) {
            case FieldType::Date:
                QVERIFY2(got.toString() == want.toDate().toString(Qt::ISODate), context);
                break;
            case FieldType::Text: {
                QString text = inCodePage(want.toString());
                while (text.endsWith(QLatin1Char(' ')))
                    text.chop(1);
                QVERIFY2(got.toString() == text, context);
                break;
            }
            default:
                QVERIFY2(qFuzzyCompare(1 + got.toDouble(), 1 + want.toDouble()), context);
            }
        }
    }
}

void TestTableExport::textReadsBackInPythonCsv()
{
    const auto result = exportTo(Type::Ascii, QStringLiteral("schedule.sch"));
    QCOMPARE(result.mainFile, m_outDir->filePath(QStringLiteral("schedule.txt")));
    QCOMPARE(result.changedValues, 0);
    const QString schema
        = QString::fromUtf8(fileBytes(m_outDir->filePath(QStringLiteral("schedule.sch"))));
    for (const char *line : { "[schedule]", "CharSet=ascii", "Filetype=VARYING", "Delimiter=\"",
             "Separator=,", "Field1=Pay Date,DATE,10,00,00", "Field3=Description,CHAR,255,00,00",
             "Field4=Bill Amount,FLOAT,20,04,00", "Field14=PrimaryKey,LONGINT,11,00,00" })
        QVERIFY2(schema.split(QStringLiteral("\r\n")).contains(QString::fromUtf8(line)), line);

    const QJsonDocument json = runPython(QStringLiteral(R"(
import csv, json, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    print(json.dumps(list(csv.reader(f))))
)"),
        { result.mainFile });
    const QJsonArray rows = json.array();
    const auto source = sourceRows(*m_table);
    const QList<FieldDef> &fields = m_table->fields();
    QCOMPARE(rows.size(), source.size());
    for (int r = 0; r < source.size(); ++r) {
        const QJsonArray row = rows[r].toArray();
        QCOMPARE(row.size(), fields.size());
        for (int f = 0; f < fields.size(); ++f) {
            const QVariant &want = source[r][f];
            const QString got = row[f].toString();
            const auto context
                = qPrintable(QStringLiteral("record %1 field %2").arg(r).arg(fields[f].name));
            if (want.isNull())
                QVERIFY2(got.isEmpty(), context);
            else if (fields[f].type == FieldType::Date)
                QVERIFY2(got == want.toDate().toString(Qt::ISODate), context);
            else if (fields[f].type == FieldType::Text)
                QVERIFY2(got == want.toString(), context);
            else
                QVERIFY2(got.toDouble() == want.toDouble(), context);
        }
    }
}

void TestTableExport::firstRowAndCount()
{
    // Five from the fourth; then more than are left stops at the last.
    auto result = exportTo(Type::Ascii, QStringLiteral("five.TXT"), 3, 5);
    QCOMPARE(result.records, 5);
    QList<QByteArray> lines = fileBytes(result.mainFile).split('\n');
    QCOMPARE(lines.size(), 6);
    QVERIFY(lines[0].contains("\"Item 0\""));
    result = exportTo(Type::DBase, QStringLiteral("rest.DBF"), 9, 50);
    QCOMPARE(result.records, 2);
    result = exportTo(Type::Paradox, QStringLiteral("none.DB"), 11, 0);
    QCOMPARE(result.records, 0);
}

void TestTableExport::badDestinationsLeaveNothingBehind_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("diskFull");
    for (int type : { 1, 2, 3 }) {
        const QString ext = TableExport::extension(Type(type));
        const QByteArray tag = ext.toLatin1();
        QTest::newRow(tag + " missing folder")
            << type << QStringLiteral("gone/x") + ext << "does not exist" << false;
        QTest::newRow(tag + " a folder")
            << type << QStringLiteral("folder") + ext << "is a folder" << false;
        // Refused even to root: /proc takes no new files.
        QTest::newRow(tag + " unwritable folder")
            << type << QStringLiteral("/proc/export") + ext << "Cannot create" << false;
        QTest::newRow(tag + " disk full")
            << type << QStringLiteral("old") + ext << "Cannot" << true;
    }
}

void TestTableExport::badDestinationsLeaveNothingBehind()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(bool, diskFull);
    QDir(m_outDir->path()).mkdir(QStringLiteral("folder") + TableExport::extension(Type(type)));
    // An earlier export of the same name, which a failed one must keep.
    const QString old = QDir(m_outDir->path()).filePath(name);
    const QString companion = TableExport::companionFile(Type(type), old);
    for (const QString &file : { old, companion }) {
        QFile f(file);
        if (!file.isEmpty() && !QFileInfo(file).exists() && f.open(QIODevice::WriteOnly))
            f.write("before");
    }
    const QStringList before = filesIn(m_outDir->path());
    if (diskFull) {
        fillSchedule(QList<QVariantMap>(
            100, { { "Description", QString(200, QLatin1Char('d')) }, { "Frequency", 1 } }));
        m_table->refresh();
    }

    // A file size limit fails the writes as a full disk does.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (diskFull) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 16 * 1024;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    QString error;
    try {
        exportTo(Type(type), name);
    } catch (const EngineError &e) {
        error = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(filesIn(m_outDir->path()), before);
    if (QFileInfo(old).isFile())
        QCOMPARE(fileBytes(old), QByteArray("before"));
}

void TestTableExport::dbaseFieldNamesAreShortAndUnique()
{
    const QStringList names = TableExport::dbaseFieldNames(m_table->fields());
    QCOMPARE(names.mid(0, 5),
        QStringList({ "Pay_Date", "Due_Date", "Descriptio", "BillAmount", "Pay_Amount" }));
    QCOMPARE(
        names.mid(9, 4), QStringList({ "UserField1", "UserField2", "UserField3", "UserField4" }));
    QList<FieldDef> clash = { { QStringLiteral("Amount of the bill") },
        { QStringLiteral("Amount of the balance") }, { QStringLiteral("2nd") } };
    QCOMPARE(
        TableExport::dbaseFieldNames(clash), QStringList({ "Amountofth", "Amountoft2", "F2nd" }));
}

void TestTableExport::cancelLeavesNothingBehind_data()
{
    QTest::addColumn<int>("type");
    for (int type : { 1, 2, 3 })
        QTest::newRow(TableExport::extension(Type(type)).toLatin1()) << type;
}

void TestTableExport::cancelLeavesNothingBehind()
{
    QFETCH(int, type);
    fillSchedule(
        QList<QVariantMap>(300, { { "Description", QStringLiteral("d") }, { "Frequency", 1 } }));
    m_table->refresh();
    const QList<QList<QVariant>> rows = sourceRows(*m_table);
    const QString old = QDir(m_outDir->path()).filePath(QStringLiteral("old"))
        + TableExport::extension(Type(type));
    for (const QString &file : { old, TableExport::companionFile(Type(type), old) }) {
        QFile f(file);
        if (!file.isEmpty() && f.open(QIODevice::WriteOnly))
            f.write("before");
    }
    const QStringList before = filesIn(m_outDir->path());

    // Cancelled part-way, with 128 records written already.
    const auto result = TableExport::run(
        *m_table, { old, Type(type), 0, 0 }, [](qint64 done, qint64) { return done < 128; });
    QVERIFY(result.cancelled);
    QCOMPARE(filesIn(m_outDir->path()), before);
    QCOMPARE(fileBytes(old), QByteArray("before"));
    Table fresh(TableFiles::Schedule);
    fresh.open();
    QCOMPARE(sourceRows(fresh), rows);
}

// 15,000 records make a Paradox table of 20 MB; writing it may take no more
// than 16 MB of memory at its peak.
void TestTableExport::paradoxMemoryStaysFlat()
{
#ifdef DS_SANITIZE
    QSKIP("Memory bounds are measured without AddressSanitizer, whose own memory would count.");
#endif
    constexpr int Records = 15000;
    {
        SQLite::Database db(
            Engine::resolve(TableFiles::Schedule).toStdString(), SQLite::OPEN_READWRITE);
        db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
            + std::to_string(Records)
            + ") INSERT INTO data (\"Description\", \"Frequency\", \"Bill Amount\")"
              " SELECT 'Item ' || i, i % 13, i / 100.0 FROM n");
    }
    m_table->refresh();
    // The kernel counts the peak of resident memory again from here.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        QSKIP("The peak of resident memory cannot be reset here.");
    clear.close();
    const qint64 before = statusKb("VmRSS:");
    const QString file = QDir(m_outDir->path()).filePath(QStringLiteral("big.DB"));
    QCOMPARE(
        TableExport::run(*m_table, { file, Type::Paradox, 0, 0 }).records, m_table->recordCount());
    QVERIFY(QFileInfo(file).size() > qint64(Records) * 1347);
    const qint64 peak = statusKb("VmHWM:") - before;
    QVERIFY2(peak < 16 * 1024, qPrintable(QStringLiteral("%1 kB").arg(peak)));
}

QTEST_GUILESS_MAIN(TestTableExport)
#include "tst_tableexport.moc"
