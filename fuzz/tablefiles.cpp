#include "tablefiles.h"

#include "fuzzenv.h"

#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"
#include "data/tablefiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {
void addItems(const QString &file)
{
    Table t(file);
    t.open();
    const struct
    {
        const char *payee;
        QDate due;
        double amount;
        int frequency;
        const char *units;
    } items[] = { { "Rent", QDate(2024, 3, 31), 900, 1, "Months" },
        { "Gas; \"heat\"", QDate(2024, 2, 29), 20.5, 2, "Weeks" },
        { "Ünïcode", QDate(1999, 12, 31), 0.01, 0, "One Time" } };
    for (const auto &item : items) {
        t.append();
        t.setValue(QStringLiteral("Description"), QString::fromUtf8(item.payee));
        t.setValue(QStringLiteral("Due Date"), item.due);
        t.setValue(QStringLiteral("Bill Amount"), item.amount);
        t.setValue(QStringLiteral("Frequency"), item.frequency);
        t.setValue(QStringLiteral("Units"), QString::fromLatin1(item.units));
        t.post();
    }
    t.close();
}

void addPayees()
{
    Table t(TableFiles::Payee);
    t.open();
    for (const char *name : { "Rent", "Power & Light" }) {
        t.append();
        t.setValue(QStringLiteral("Payee"), QString::fromUtf8(name));
        t.post();
    }
    t.close();
}

// The same table with 512-byte pages.
QByteArray smallPages(const QString &path)
{
    const QString out = path + QStringLiteral(".small");
    QFile::remove(out);
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const QByteArray sql = "PRAGMA page_size=512; VACUUM INTO '" + out.toUtf8() + "'";
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        FuzzEnv::fail("cannot vacuum", QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_close(db);
    QByteArray bytes = FuzzEnv::readFile(out);
    QFile::remove(out);
    return bytes;
}
} // namespace

const QList<FuzzTables::File> &FuzzTables::live()
{
    static const QList<File> files = [] {
        Engine &engine = Engine::instance();
        engine.createTable(TableFiles::Schedule, Layouts::item());
        engine.createTable(TableFiles::History, Layouts::item());
        engine.createTable(TableFiles::Resched, Layouts::item());
        engine.createTable(TableFiles::Payee, Layouts::payee());
        engine.createTable(TableFiles::Aging, Layouts::aging());
        addItems(TableFiles::Schedule);
        addItems(TableFiles::History);
        addPayees();
        QList<File> list;
        for (const QString &name : { TableFiles::Schedule, TableFiles::History, TableFiles::Resched,
                 TableFiles::Payee, TableFiles::Aging })
            list.append({ name, FuzzEnv::readFile(Engine::resolve(name)) });
        return list;
    }();
    return files;
}

void FuzzTables::writeSeeds(const QString &dir, const QList<QString> &tables, bool withPrefix)
{
    QDir().mkpath(dir);
    for (const File &f : live()) {
        const qsizetype index = tables.indexOf(f.name);
        if (index < 0)
            continue;
        const QByteArray prefix = withPrefix ? QByteArray(1, char(index)) : QByteArray();
        const QString base = QFileInfo(f.name).completeBaseName().toLower();
        FuzzEnv::writeFile(dir + QLatin1Char('/') + base, prefix + f.bytes);
        FuzzEnv::writeFile(dir + QLatin1Char('/') + base + QStringLiteral("-512"),
            prefix + smallPages(Engine::resolve(f.name)));
    }
}
