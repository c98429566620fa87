// The iCalendar writer over items with any text, amounts and dates: the
// file is iCalendar text (CRLF lines of at most 75 octets, UTF-8), and each
// event's SUMMARY and DESCRIPTION read back as the item's own text.
#include "fuzzenv.h"
#include "icsreader.h"

#include "domain/icalendar.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {
QString someText(FuzzedDataProvider &in)
{
    const std::string s = in.ConsumeRandomLengthString(200);
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QVariant someDate(FuzzedDataProvider &in)
{
    // Stored dates lie in the years 1 to 9999; their ends are the likeliest trouble.
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return {};
    case 1:
        return QDate(1, 1, 1);
    case 2:
        return QDate(9999, 12, 31);
    default:
        return QDate(1, 1, 1).addDays(in.ConsumeIntegralInRange<qint64>(0, 3652058));
    }
}

QVariant someAmount(FuzzedDataProvider &in)
{
    if (in.ConsumeBool())
        return {};
    return in.ConsumeFloatingPoint<double>();
}

// What a TEXT value can carry: line breaks as LF, no other control character.
QString carried(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString out;
    for (QChar c : std::as_const(text))
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n')
            || c.category() != QChar::Other_Control)
            out += c;
    return out;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Options options;
    for (QString &title : options.userTitles)
        title = someText(in).left(Options::TitleLength);
    const QDateTime stamp(QDate(2000, 1, 1).addDays(in.ConsumeIntegralInRange(0, 20000)),
        QTime(0, 0).addSecs(in.ConsumeIntegralInRange(0, 86399)), Qt::UTC);

    std::vector<Occurrence> occurrences;
    const int count = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < count; ++i) {
        Occurrence o;
        o.overdue = in.ConsumeBool();
        ItemRecord &r = o.record;
        r.description = someText(in);
        r.dueDate = someDate(in);
        r.endDate = someDate(in);
        r.billAmount = someAmount(in);
        r.payAmount = someAmount(in);
        r.budget = someAmount(in);
        r.balance = someAmount(in);
        r.frequency = in.ConsumeIntegral<int>();
        r.units = someText(in);
        r.warningDays = in.ConsumeIntegral<int>();
        for (QVariant &user : r.userField)
            user = in.ConsumeBool() ? QVariant() : QVariant(someText(in));
        occurrences.push_back(o);
    }

    std::vector<const Occurrence *> written; // those with a due date
    for (const Occurrence &o : occurrences)
        if (o.dueDate().isValid())
            written.push_back(&o);

    const QByteArray file = ICalendar::calendar(occurrences, options, stamp);
    QString fault;
    const std::optional<QList<IcsReader::Property>> lines = IcsReader::read(file, &fault);
    if (!lines)
        FuzzEnv::fail("the calendar is no iCalendar text", fault);

    // The events in order, each with its SUMMARY and its own DESCRIPTION
    // (the alarm's DESCRIPTION repeats the summary).
    size_t event = 0;
    bool inAlarm = false;
    for (const IcsReader::Property &p : *lines) {
        if (p.name == QLatin1String("BEGIN") && p.value == QLatin1String("VALARM"))
            inAlarm = true;
        if (p.name == QLatin1String("END") && p.value == QLatin1String("VALARM"))
            inAlarm = false;
        if (p.name == QLatin1String("END") && p.value == QLatin1String("VEVENT"))
            ++event;
        if (p.name.startsWith(QLatin1String("DT")) && p.params == QLatin1String(";VALUE=DATE")
            && (p.value.size() != 8
                || !QDate::fromString(p.value, QStringLiteral("yyyyMMdd")).isValid()))
            FuzzEnv::fail("a date value is no date", p.value);
        if (p.name != QLatin1String("SUMMARY") && p.name != QLatin1String("DESCRIPTION"))
            continue;
        if (event >= written.size())
            FuzzEnv::fail("more events than occurrences");
        const Occurrence &o = *written[event];
        const QString want = p.name == QLatin1String("DESCRIPTION") && !inAlarm
            ? ICalendar::description(o.record, options)
            : ICalendar::summary(o.record, o.overdue);
        const std::optional<QString> got = IcsReader::unescape(p.value);
        if (!got || *got != carried(want))
            FuzzEnv::fail("a text does not read back", p.name + QStringLiteral(": ") + p.value);
    }
    if (event != written.size())
        FuzzEnv::fail("events and occurrences differ in number");
    return 0;
}
