// The start-up check of the data folder over a table file that may be
// anything: it accepts or refuses with an EngineError, and, as it only
// reads, leaves every file in the folder as it was.
#include "fuzzenv.h"
#include "tablefiles.h"

#include "data/datafolder.h"
#include "data/engine.h"
#include "data/engineerror.h"

#include <QDir>

#include <cstdlib>

namespace {
QStringList folderNames()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    QStringList names;
    for (const FuzzTables::File &f : FuzzTables::live())
        names.append(f.name);
    // DS_FUZZ_SEEDS=dir: writes the seed corpus there and stops.
    if (const QString seeds = qEnvironmentVariable("DS_FUZZ_SEEDS"); !seeds.isEmpty()) {
        FuzzTables::writeSeeds(seeds, names, true);
        std::exit(0);
    }
    return 0;
}

// The first byte chooses the table, the rest is its file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QList<FuzzTables::File> &tables = FuzzTables::live();
    const FuzzTables::File &table = tables[data[0] % tables.size()];
    const QString path = Engine::resolve(table.name);
    const QByteArray bytes = FuzzEnv::bytes(data + 1, size - 1);
    FuzzEnv::writeFile(path, bytes);
    const QStringList before = folderNames();
    try {
        DataFolder::check();
    } catch (const EngineError &) { }
    if (folderNames() != before)
        FuzzEnv::fail("the check left files behind",
            folderNames().join(QLatin1Char(' ')) + QStringLiteral(" / ")
                + before.join(QLatin1Char(' ')));
    if (FuzzEnv::readFile(path) != bytes)
        FuzzEnv::fail("the check changed the table", table.name);
    FuzzEnv::writeFile(path, table.bytes);
    return 0;
}
