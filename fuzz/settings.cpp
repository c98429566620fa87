// The settings file as a user may have edited it: read through QSettings, the
// options take what fits and keep their bounds, and every window's placement
// and column values parse or are skipped, and a placed window lands on a screen.
#include "fuzzenv.h"

#include "domain/options.h"

#include <QFile>
#include <QRect>
#include <QSettings>

namespace {
// Two screens side by side, the second one lower and smaller.
const QList<QRect> screens = { QRect(0, 0, 1920, 1040), QRect(1920, 200, 1280, 984) };

void placement(const QString &text)
{
    const std::optional<QList<int>> edges = StoredText::parseInts(text, 4);
    if (!edges)
        return;
    const std::optional<QRect> placed = StoredText::placeOnScreen(*edges, screens, screens[0]);
    if (!placed)
        return;
    bool inside = false;
    for (const QRect &s : screens)
        inside = inside || s.contains(*placed);
    if (!inside || placed->isEmpty())
        FuzzEnv::fail("a window placed off the screens", text);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // "@Variant(" values are decoded by Qt's own data stream, which reserves what
    // a length inside claims (gigabytes of address space, never touched); the
    // program's own reading is what is under test here.
    if (FuzzEnv::bytes(data, size).contains("@Variant("))
        return 0;
    // A file of its own for each input: QSettings keeps files it has read.
    static int n = 0;
    const QString path = FuzzEnv::dir() + QStringLiteral("/settings-%1.ini").arg(++n);
    FuzzEnv::writeFile(path, FuzzEnv::bytes(data, size));
    {
        QSettings store(path, QSettings::IniFormat);
        OptionsStore &options = OptionsStore::instance();
        options.reset();
        store.beginGroup(QStringLiteral("TfrmSched"));
        for (const OptionsStore::Value &value : options.values())
            if (const std::optional<QString> text = StoredText::readText(store, value.name))
                value.set(*text);
        (void)options.takeSettingProblems();
        const Options &o = OptionsStore::current();
        if (o.agingInterval < 0 || o.agingInterval > Options::MaxDays || o.defaultWarn < 0
            || o.defaultWarn > Options::MaxDays)
            FuzzEnv::fail("day counts out of bounds");
        for (const QString &title : o.userTitles)
            if (title.size() > Options::TitleLength)
                FuzzEnv::fail("a title over its length");
        store.endGroup();

        // Every value of every section as a placement, a column and a number.
        for (const QString &key : store.allKeys()) {
            const std::optional<QString> text = StoredText::readText(store, key);
            if (!text)
                continue;
            placement(*text);
            (void)StoredText::parseInts(*text, 2);
            (void)StoredText::parseInt(*text);
            (void)StoredText::parseBool(*text);
        }
    }
    QFile::remove(path);
    return 0;
}
