#include "books.h"

#include "bookreaders.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace BookReaders {
QString tr(const char *text)
{
    return QCoreApplication::translate("Books", text);
}

void walkDates(SourceSchedule &schedule, const std::function<QDate()> &next, qint64 remaining,
    const QDate &end)
{
    // A count this large runs on for all practical purposes; walking it out
    // would only spend time.
    constexpr qint64 longestWalk = 5000;
    qint64 walked = 0;
    QDate last;
    bool walkedOut = false;
    while (remaining < 0 ? walked < 12 : walked < remaining) {
        if (walked == longestWalk) {
            walkedOut = true;
            break;
        }
        const QDate date = next();
        if (!date.isValid() || (end.isValid() && date > end))
            break;
        if (schedule.occurrences.size() < 12)
            schedule.occurrences.append(date);
        last = date;
        ++walked;
    }
    if (!schedule.occurrences.isEmpty())
        schedule.nextDue = schedule.occurrences.first();
    if (end.isValid())
        schedule.endDate = end;
    else if (remaining >= 0 && !walkedOut)
        schedule.endDate = last;
}

std::optional<Money> fraction(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    bool numOk = false;
    bool denOk = true;
    const qlonglong num = (slash < 0 ? text : text.left(slash)).trimmed().toLongLong(&numOk);
    const qlonglong den = slash < 0 ? 1 : text.mid(slash + 1).trimmed().toLongLong(&denOk);
    if (!numOk || !denOk || den <= 0)
        return std::nullopt;
    const Money::Units scaled = Money::Units(num) * 10000;
    if (scaled % den != 0)
        return std::nullopt;
    return Money::fromUnits(scaled / den);
}

bool keepGoing(const QXmlStreamReader &xml, qint64 size, const ReadProgress &progress)
{
    if (!progress || size <= 0)
        return true;
    return progress(int(qMin<qint64>(999, xml.characterOffset() * 1000 / size)));
}

QString xmlError(const QXmlStreamReader &xml, const QString &name, bool cancelled)
{
    if (cancelled)
        return tr("Reading %1 was cancelled.").arg(name);
    if (xml.hasError())
        return tr("%1 is damaged and cannot be read: %2 (line %3).")
            .arg(name, xml.errorString())
            .arg(xml.lineNumber());
    return {};
}

QString noSchedules(const QString &name)
{
    return tr("%1 holds no scheduled transactions.").arg(name);
}
} // namespace BookReaders

namespace {
enum class Kind { Unknown, HomeBank, KMyMoney, GnuCash, Sqlite };

// The first element's name tells the XML books apart; the SQLite header
// tells a database.
Kind kindOf(const QByteArray &bytes)
{
    if (bytes.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return Kind::Sqlite;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto root = xml.qualifiedName();
        if (root == u"homebank")
            return Kind::HomeBank;
        if (root == u"KMYMONEY-FILE")
            return Kind::KMyMoney;
        if (root == u"gnc-v2")
            return Kind::GnuCash;
        return Kind::Unknown;
    }
    return Kind::Unknown;
}

// Money Manager Ex keeps its books in SQLite, and GnuCash can.
SourceBook readDatabase(const QByteArray &bytes, const QString &name, const ReadProgress &progress)
{
    const BookReaders::SqliteCopy copy(bytes);
    if (copy.hasTable("BILLSDEPOSITS_V1"))
        return BookReaders::readMmex(copy, name, progress);
    if (copy.hasTable("schedxactions"))
        return BookReaders::readGnuCashSql(copy, name);
    return { QString(), {},
        BookReaders::tr("%1 is neither a Money Manager Ex nor a GnuCash database, or it is "
                        "damaged.")
            .arg(name) };
}
} // namespace

namespace Books {
SourceBook read(const QString &path, const ReadProgress &progress)
{
    QString error;
    const QByteArray bytes = SourceFile::read(path, &error);
    if (!error.isEmpty())
        return { QString(), {}, error };
    return readBytes(bytes, QFileInfo(path).fileName(), progress);
}

SourceBook readBytes(const QByteArray &packed, const QString &name, const ReadProgress &progress)
{
    QString error;
    const QByteArray bytes = SourceFile::unpacked(packed, &error);
    if (!error.isEmpty())
        return { QString(), {}, name + QLatin1String(": ") + error };
    switch (kindOf(bytes)) {
    case Kind::HomeBank:
        return BookReaders::readHomeBank(bytes, name, progress);
    case Kind::KMyMoney:
        return BookReaders::readKMyMoney(bytes, name, progress);
    case Kind::GnuCash:
        return BookReaders::readGnuCash(bytes, name, progress);
    case Kind::Sqlite:
        return readDatabase(bytes, name, progress);
    case Kind::Unknown:
        break;
    }
    return { QString(), {},
        BookReaders::tr("%1 is not a HomeBank, KMyMoney, GnuCash or Money Manager Ex file.")
            .arg(name) };
}

QString fileFilter()
{
    return QCoreApplication::translate("Books", "Finance programs (*.xhb *.kmy *.gnucash *.mmb)");
}
} // namespace Books
