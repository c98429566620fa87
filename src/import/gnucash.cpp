// GnuCash XML books: scheduled transactions ("gnc:schedxaction") with their
// recurrences, and the template transactions whose splits carry the amounts
// in "sched-xaction" slots (a credit and a debit, as a formula and a number).
#include "gnucashbook.h"

using namespace GnuCash;

namespace {
QDate gdate(QXmlStreamReader &xml)
{
    QDate date;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"gdate")
            date = QDate::fromString(xml.readElementText().trimmed(), Qt::ISODate);
        else
            xml.skipCurrentElement();
    }
    return date;
}

Recurrence readRecurrence(QXmlStreamReader &xml)
{
    Recurrence r;
    r.period = -1;
    while (xml.readNextStartElement()) {
        const auto n = xml.name();
        if (n == u"mult")
            r.mult = xml.readElementText().trimmed().toInt();
        else if (n == u"period_type")
            r.period = periodOf(xml.readElementText());
        else if (n == u"start")
            r.start = gdate(xml);
        else if (n == u"weekend_adj")
            r.adjust = adjustOf(xml.readElementText());
        else
            xml.skipCurrentElement();
    }
    return r;
}

Sx readSx(QXmlStreamReader &xml, int record)
{
    Sx sx;
    sx.record = record;
    while (xml.readNextStartElement()) {
        const auto n = xml.name();
        if (n == u"name")
            sx.name = xml.readElementText();
        else if (n == u"enabled")
            sx.enabled = xml.readElementText().trimmed() != u"n";
        else if (n == u"start")
            sx.start = gdate(xml);
        else if (n == u"last")
            sx.last = gdate(xml);
        else if (n == u"end")
            sx.end = gdate(xml);
        else if (n == u"rem-occur")
            sx.remaining = qMax(0, xml.readElementText().trimmed().toInt());
        else if (n == u"templ-acct")
            sx.templateAccount = xml.readElementText().trimmed();
        else if (n == u"schedule") {
            while (xml.readNextStartElement()) {
                if (xml.name() == u"recurrence")
                    addRecurrence(sx, readRecurrence(xml));
                else
                    xml.skipCurrentElement();
            }
        } else
            xml.skipCurrentElement();
    }
    return sx;
}

// Slots nest in frames; their values are kept under "frame/key" paths.
void readSlots(
    QXmlStreamReader &xml, const QString &prefix, QHash<QString, QString> &values, int depth)
{
    while (xml.readNextStartElement()) {
        if (xml.name() != u"slot" || depth > 16) {
            xml.skipCurrentElement();
            continue;
        }
        QString key;
        while (xml.readNextStartElement()) {
            if (xml.name() == u"key") {
                key = prefix + xml.readElementText().trimmed();
            } else if (xml.name() == u"value"
                && xml.attributes().value(QLatin1String("type")) == u"frame") {
                readSlots(xml, key + u'/', values, depth + 1);
            } else if (xml.name() == u"value") {
                values.insert(
                    key, xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
            } else {
                xml.skipCurrentElement();
            }
        }
    }
}

TemplateSplit readSplit(QXmlStreamReader &xml)
{
    TemplateSplit split;
    QHash<QString, QString> slots;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"account")
            split.templateAccount = xml.readElementText().trimmed();
        else if (xml.name() == u"slots")
            readSlots(xml, QString(), slots, 0);
        else
            xml.skipCurrentElement();
    }
    split.account = slots.value(QStringLiteral("sched-xaction/account"));
    split.credit = slots.value(QStringLiteral("sched-xaction/credit-numeric"));
    split.debit = slots.value(QStringLiteral("sched-xaction/debit-numeric"));
    split.creditFormula = slots.value(QStringLiteral("sched-xaction/credit-formula"));
    split.debitFormula = slots.value(QStringLiteral("sched-xaction/debit-formula"));
    return split;
}

Template readTransaction(QXmlStreamReader &xml)
{
    Template t;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"description") {
            t.description = xml.readElementText();
        } else if (xml.name() == u"splits") {
            while (xml.readNextStartElement()) {
                if (xml.name() == u"split")
                    t.splits.append(readSplit(xml));
                else
                    xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    return t;
}

Account readAccount(QXmlStreamReader &xml, QString &id)
{
    Account account;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"name")
            account.name = xml.readElementText();
        else if (xml.name() == u"id")
            id = xml.readElementText().trimmed();
        else if (xml.name() == u"type")
            account.type = xml.readElementText().trimmed();
        else
            xml.skipCurrentElement();
    }
    return account;
}

} // namespace

namespace BookReaders {
SourceBook readGnuCash(const QByteArray &bytes, const QString &name, const ReadProgress &progress)
{
    QXmlStreamReader xml(bytes);
    GnuCash::Book book;
    int templateDepth = -1;
    int depth = 0;
    qint64 elements = 0;
    bool cancelled = false;
    while (!xml.atEnd() && !cancelled) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (--depth < templateDepth)
                templateDepth = -1;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto element = xml.qualifiedName();
        if (element == u"gnc:account") {
            QString id;
            const Account account = readAccount(xml, id);
            book.accounts.insert(id, account);
        } else if (element == u"gnc:schedxaction") {
            book.schedules.append(readSx(xml, int(book.schedules.size()) + 1));
        } else if (element == u"gnc:transaction" && templateDepth >= 0) {
            Template t = readTransaction(xml);
            if (!t.splits.isEmpty())
                book.templates.insert(t.splits.first().templateAccount, t);
        } else if (element == u"gnc:transaction") {
            xml.skipCurrentElement();
        } else {
            if (element == u"gnc:template-transactions")
                templateDepth = depth + 1;
            ++depth;
        }
        if (++elements % 512 == 0)
            cancelled = !keepGoing(xml, bytes.size(), progress);
    }
    const QString error = xmlError(xml, name, cancelled);
    if (!error.isEmpty())
        return { QStringLiteral("GnuCash"), {}, error };
    return GnuCash::schedules(book, name);
}
} // namespace BookReaders
