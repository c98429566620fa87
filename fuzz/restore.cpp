// The restore's check of a copy that may be anything: it accepts or refuses
// with an EngineError, and reads the copy without writing to it or beside it.
#include "fuzzenv.h"
#include "tablefiles.h"

#include "data/backuprestore.h"
#include "data/engineerror.h"
#include "data/tablefiles.h"

#include <QDir>

#include <cstdlib>

namespace {
const QStringList &backedUp()
{
    static const QStringList tables
        = { TableFiles::Schedule, TableFiles::History, TableFiles::Payee };
    return tables;
}

QString copies()
{
    return FuzzEnv::dir() + QStringLiteral("/copies");
}

QStringList copyNames()
{
    return QDir(copies()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    (void)FuzzTables::live();
    if (const QString seeds = qEnvironmentVariable("DS_FUZZ_SEEDS"); !seeds.isEmpty()) {
        FuzzTables::writeSeeds(seeds, backedUp(), true);
        std::exit(0);
    }
    QDir().mkpath(copies());
    return 0;
}

// The first byte chooses the table, the rest is its copy.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString live = backedUp()[data[0] % backedUp().size()];
    const QString copy = copies() + QLatin1Char('/') + BackupRestore::backupName(live);
    const QByteArray bytes = FuzzEnv::bytes(data + 1, size - 1);
    FuzzEnv::writeFile(copy, bytes);
    try {
        BackupRestore::checkSource({ live }, copies());
    } catch (const EngineError &) { }
    if (copyNames() != QStringList{ BackupRestore::backupName(live) })
        FuzzEnv::fail("the check left files beside the copy", copyNames().join(QLatin1Char(' ')));
    if (FuzzEnv::readFile(copy) != bytes)
        FuzzEnv::fail("the check changed the copy", live);
    QFile::remove(copy);
    return 0;
}
