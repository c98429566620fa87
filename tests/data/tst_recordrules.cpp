#include "support/dataenv.h"

#include "data/attachedfile.h"
#include "data/backuprestore.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/formats.h"
#include "data/itemstatements.h"
#include "data/payeelist.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/aging.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {
const QStringList LiveTables = { TableFiles::Schedule, TableFiles::History, TableFiles::Resched,
    TableFiles::Payee, TableFiles::Aging };
const QStringList Backed = { TableFiles::Schedule, TableFiles::History, TableFiles::Payee };

QMap<QString, QByteArray> contents(const QString &dir, const QStringList &names)
{
    QMap<QString, QByteArray> out;
    for (const QString &name : names) {
        QFile f(Engine::resolve(QDir(dir).filePath(name)));
        out.insert(name, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)"));
    }
    return out;
}

void bind(SQLite::Statement &s, int i, const QVariant &v)
{
    if (v.typeId() == QMetaType::QString)
        s.bind(i, v.toString().toStdString());
    else if (v.typeId() == QMetaType::Double)
        s.bind(i, v.toDouble());
    else
        s.bind(i, static_cast<int64_t>(v.toLongLong()));
}

// Changes a file as another program would.
void setStored(const QString &path, const QString &field, const QVariant &value)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
    SQLite::Statement s(db, ("UPDATE data SET " + Engine::quote(field) + " = ?").toStdString());
    bind(s, 1, value);
    QVERIFY(s.exec() > 0);
}

void addItem(const QHash<QString, QVariant> &values)
{
    Table t(TableFiles::Schedule);
    t.open();
    t.append();
    for (auto it = values.begin(); it != values.end(); ++it)
        t.setValue(it.key(), it.value());
    t.post();
}

template <typename F> QString refusal(F write)
{
    try {
        write();
    } catch (const EngineError &e) {
        return e.message();
    }
    return QStringLiteral("(accepted)");
}
} // namespace

class TestRecordRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void everyWriterRefusesBadValue_data();
    void everyWriterRefusesBadValue();
    void badStoredValuesReadEmptyAndSumNothing();
    void walBackupUnchangedByRestore();

private:
    std::unique_ptr<DataEnv> m_env;
    std::unique_ptr<QTemporaryDir> m_backup;
};

void TestRecordRules::init()
{
    m_env = std::make_unique<DataEnv>();
    m_env->createTables();
    m_backup = std::make_unique<QTemporaryDir>();
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") },
        { QStringLiteral("Frequency"), 1 }, { QStringLiteral("Units"), QStringLiteral("Months") },
        { QStringLiteral("Bill Amount"), 900.5 } });
    BackupRestore::backup(Backed, m_backup->path());
}

void TestRecordRules::cleanup()
{
    m_backup.reset();
    m_env.reset();
}

void TestRecordRules::everyWriterRefusesBadValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("storable"); // SQLite keeps it as given (NaN becomes NULL)
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("10,000 characters") << "Description" << QVariant(QString(10000, u'x')) << true;
    QTest::newRow("no date") << "Due Date" << QVariant(QStringLiteral("notadate")) << true;
    QTest::newRow("month 13") << "End Date" << QVariant(QStringLiteral("2026-13-45")) << true;
    QTest::newRow("date as a number") << "Pay Date" << QVariant(20260101) << true;
    QTest::newRow("1e300") << "Bill Amount" << QVariant(1e300) << true;
    QTest::newRow("infinite") << "Pay Amount" << QVariant(inf) << true;
    QTest::newRow("minus infinite") << "Balance" << QVariant(-inf) << true;
    QTest::newRow("nan") << "Budget" << QVariant(std::nan("")) << false;
    QTest::newRow("currency text")
        << "Bill Amount" << QVariant(QStringLiteral("12,50 EUR")) << true;
    QTest::newRow("five decimals") << "Balance" << QVariant(1.23456) << true;
    QTest::newRow("frequency 70000") << "Frequency" << QVariant(70000) << true;
    QTest::newRow("frequency as text") << "Frequency" << QVariant(QStringLiteral("abc")) << true;
    QTest::newRow("unit of 30 characters") << "Units" << QVariant(QString(30, u'u')) << true;
    QTest::newRow("unknown unit") << "Units" << QVariant(QStringLiteral("Fortnights")) << true;
}

void TestRecordRules::everyWriterRefusesBadValue()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(bool, storable);
    const auto before = contents(m_env->dir(), LiveTables);
    QHash<QString, QVariant> record = { { QStringLiteral("Description"), QStringLiteral("gas") },
        { QStringLiteral("Frequency"), 1 }, { QStringLiteral("Units"), QStringLiteral("Months") } };
    record[field] = value;
    const auto named = [&](const QString &message) {
        return message.contains(QLatin1Char('\'') + field + QLatin1Char('\''));
    };

    // The list's post.
    QString message = refusal([&] { addItem(record); });
    QVERIFY2(named(message), qPrintable(message));

    // The payment run's inserts into history, resched.DB and back into the schedule.
    message = refusal([&] {
        AttachedFile schedule(TableFiles::Schedule);
        inTransaction([&] {
            ItemInsert insert(schedule, record.keys());
            insert.insert(record.values());
        });
    });
    QVERIFY2(named(message), qPrintable(message));

    if (field == QLatin1String("Description")) {
        message = refusal([&] { PayeeList::memorize({ QStringLiteral("ok"), value.toString() }); });
        QVERIFY2(message.contains(QStringLiteral("'Payee'")), qPrintable(message));
    }

    // Restore: the copy is read before any table changes.
    if (storable) {
        const QString copy = QDir(m_backup->path()).filePath(QStringLiteral("schedule.db"));
        setStored(copy, field, value);
        message = refusal([&] { BackupRestore::restore(Backed, m_backup->path()); });
        QVERIFY2(named(message) && message.contains(QStringLiteral("record 1"))
                && message.contains(QDir::toNativeSeparators(copy)),
            qPrintable(message));
    }
    QCOMPARE(contents(m_env->dir(), LiveTables), before);
}

void TestRecordRules::badStoredValuesReadEmptyAndSumNothing()
{
    const QString live = Engine::resolve(TableFiles::Schedule);
    const QList<QPair<QString, QVariant>> bad = { { QStringLiteral("Bill Amount"), 1e300 },
        { QStringLiteral("Bill Amount"), std::numeric_limits<double>::infinity() },
        { QStringLiteral("Bill Amount"), QStringLiteral("12,50 EUR") },
        { QStringLiteral("Frequency"), 70000 }, { QStringLiteral("Due Date"), 20260101 } };
    for (const auto &[field, value] : bad) {
        addItem({ { QStringLiteral("Description"), field }, { QStringLiteral("Frequency"), 1 },
            { QStringLiteral("Bill Amount"), 1 } });
        SQLite::Database db(live.toStdString(), SQLite::OPEN_READWRITE);
        SQLite::Statement s(db,
            ("UPDATE data SET " + Engine::quote(field)
                + " = ? WHERE rowid = (SELECT max(rowid) FROM data)")
                .toStdString());
        bind(s, 1, value);
        QCOMPARE(s.exec(), 1);
    }

    Table t(TableFiles::Schedule);
    t.open();
    QCOMPARE(t.recordCount(), 1 + int(bad.size()));
    for (int row = 1; row <= bad.size(); ++row) {
        t.goToRow(row);
        const QString field = bad[row - 1].first;
        QVERIFY2(t.value(field).isNull(), qPrintable(field));
        const FieldDef &def = *Layouts::item().field(field);
        QCOMPARE(Formats::display(def, t.value(field)), QString());
    }
    // What start-up sums: the sound amounts only, without an overflow.
    const Aging::Sums sums = Aging::compute(TableFiles::Schedule, 7, QDateTime::currentDateTime());
    QCOMPARE(sums.expense[5], Aging::toFixed(900.5) + 2 * Aging::toFixed(1));
}

void TestRecordRules::walBackupUnchangedByRestore()
{
    const QString copy = QDir(m_backup->path()).filePath(QStringLiteral("schedule.db"));
    {
        SQLite::Database db(copy.toStdString(), SQLite::OPEN_READWRITE);
        db.exec("PRAGMA journal_mode=WAL");
    }
    QVERIFY(!QFile::exists(copy + QStringLiteral("-wal")));
    const auto before = contents(m_backup->path(), Backed);
    addItem({ { QStringLiteral("Description"), QStringLiteral("later") },
        { QStringLiteral("Frequency"), 0 } });
    BackupRestore::restore(Backed, m_backup->path());
    QCOMPARE(contents(m_backup->path(), Backed), before);
    QCOMPARE(QDir(m_backup->path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    Table t(TableFiles::Schedule);
    t.open();
    QCOMPARE(t.recordCount(), 1);
    QCOMPARE(t.value(QStringLiteral("Bill Amount")).toDouble(), 900.5);
}

QTEST_GUILESS_MAIN(TestRecordRules)
#include "tst_recordrules.moc"
