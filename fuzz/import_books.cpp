// Another program's books, as bytes that may be anything: a book with
// schedules, or an error and none, never a crash or a hang.
#include "fuzzenv.h"

#include "import/books.h"
#include "import/importplan.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const SourceBook book = Books::readBytes(FuzzEnv::bytes(data, size), QStringLiteral("fuzz"));
    if (!book.error.isEmpty() && !book.schedules.isEmpty())
        FuzzEnv::fail("a book with an error and schedules");
    for (const SourceSchedule &s : book.schedules)
        if (s.occurrences.size() > 12)
            FuzzEnv::fail("more than twelve dates of a schedule");
    // The rows the import would show: the rule matching walks the dates.
    ImportPlan plan;
    plan.build(book.schedules);
    if (plan.rows().size() != book.schedules.size())
        FuzzEnv::fail("a row missing from the import's preview");
    return 0;
}
