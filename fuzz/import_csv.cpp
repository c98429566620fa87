// Delimited text that may be anything: what the reader proposes for it, the
// schedules it reads with that, and the rows the import would show. Never a
// crash or a hang; a text that cannot be read gives its error and no rows.
#include "fuzzenv.h"

#include "import/delimitedtext.h"
#include "import/importplan.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzEnv::bytes(data, size);
    DelimitedText::Options options = DelimitedText::detect(bytes);
    const SourceBook book = DelimitedText::read(bytes, options, {}, 200);
    if (!book.error.isEmpty() && !book.schedules.isEmpty())
        FuzzEnv::fail("delimited text with an error and schedules");
    ImportPlan plan;
    plan.build(book.schedules);
    if (plan.rows().size() != book.schedules.size())
        FuzzEnv::fail("a row missing from the import's preview");
    // The other reading choices a user can make must not crash either.
    options.dateOrder = DelimitedText::DateOrder::DayMonthYear;
    options.decimal = u',';
    options.encoding = DelimitedText::Encoding::Windows1252;
    ImportPlan().build(DelimitedText::read(bytes, options, {}, 200).schedules);
    return 0;
}
