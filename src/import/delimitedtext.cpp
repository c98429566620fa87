#include "delimitedtext.h"

#include "data/codepage.h"

#include <QCoreApplication>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace DelimitedText {
namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("DelimitedText", text);
}

// The text of the bytes, or an error for bytes that are not text we read.
QString decoded(const QByteArray &bytes, Encoding encoding, QString *error)
{
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) {
        // A byte order mark says UTF-8 whatever was chosen.
        view = view.sliced(3);
        encoding = Encoding::Utf8;
    } else if (view.startsWith("\xFF\xFE") || view.startsWith("\xFE\xFF")) {
        *error = tr("The file is in UTF-16. Save it as UTF-8 or Windows-1252 text and import "
                    "it again.");
        return {};
    }
    if (view.contains('\0')) {
        *error = tr("The file holds binary data, not delimited text.");
        return {};
    }
    if (view.trimmed().isEmpty()) {
        *error = tr("The file is empty.");
        return {};
    }
    if (encoding == Encoding::Windows1252)
        return Cp1252::decode(view);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (utf8.hasError()) {
        *error = tr("The file is not UTF-8 text. Choose Windows-1252 as its encoding.");
        return {};
    }
    return text;
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes); // decoding happens on conversion
    return !utf8.hasError();
}

// RFC 4180 over decoded text. A line end is CR LF, LF or CR alone; one file
// uses one of them outside quotes.
class Splitter
{
public:
    Splitter(const QString &text, QChar delimiter)
        : m_text(text)
        , m_delimiter(delimiter)
    { }

    Cells run(qsizetype maxRecords)
    {
        Cells cells;
        QStringList record;
        QString field;
        bool quoted = false; // the field started with a quote
        bool closed = false; // its closing quote has been read
        qsizetype i = 0;
        const qsizetype n = m_text.size();
        auto endField = [&] {
            record.append(field);
            field.clear();
            quoted = closed = false;
        };
        while (i < n) {
            const QChar c = m_text[i];
            if (quoted && !closed) {
                closed = insideQuotes(i, field);
                continue;
            }
            if (closed && c == u' ') { // spaces after the closing quote say nothing
                ++i;
                continue;
            }
            if (c == m_delimiter) {
                endField();
                ++i;
                continue;
            }
            if (c == u'\r' || c == u'\n') {
                const bool crlf = c == u'\r' && i + 1 < n && m_text[i + 1] == u'\n';
                if (!lineEnd(crlf ? 2 : (c == u'\r' ? 1 : 0), &cells.error))
                    return cells;
                endField();
                if (record.size() > 1 || !record.first().isEmpty())
                    cells.records.append(record);
                record.clear();
                ++m_line;
                i += crlf ? 2 : 1;
                if (maxRecords >= 0 && cells.records.size() >= maxRecords)
                    return cells;
                continue;
            }
            if (c == u'"' && !quoted && field.trimmed().isEmpty()) {
                quoted = true;
                field.clear();
                m_openLine = m_line;
                ++i;
                continue;
            }
            if (c == u'"' || closed) {
                cells.error = closed
                    ? tr("Line %1: text follows the closing quote of a field. A quote inside "
                         "a quoted field is written twice (\"\").")
                          .arg(m_line)
                    : tr("Line %1: a stray quote in the middle of a field. A field holding "
                         "quotes is itself enclosed in quotes.")
                          .arg(m_line);
                return cells;
            }
            field.append(c);
            ++i;
        }
        if (quoted && !closed) {
            cells.error = tr("Line %1: a quoted field is never closed.").arg(m_openLine);
            return cells;
        }
        if (!field.isEmpty() || quoted || !record.isEmpty()) {
            endField();
            cells.records.append(record);
        }
        return cells;
    }

private:
    // One character of a quoted field at i, moving i on; true at its closing quote.
    bool insideQuotes(qsizetype &i, QString &field)
    {
        const QChar c = m_text[i];
        const QChar after = i + 1 < m_text.size() ? m_text[i + 1] : QChar();
        if (c == u'"' && after == u'"') {
            field.append(u'"');
            i += 2;
            return false;
        }
        ++i;
        if (c == u'"')
            return true;
        if (c == u'\n' || (c == u'\r' && after != u'\n'))
            ++m_line;
        field.append(c);
        return false;
    }

    bool lineEnd(int kind, QString *error)
    {
        if (m_kind < 0) {
            m_kind = kind;
            return true;
        }
        if (m_kind == kind)
            return true;
        *error = tr("Line %1 ends differently from the lines before it: the file mixes line "
                    "ends. Save it again from the program that made it.")
                     .arg(m_line);
        return false;
    }

    const QString &m_text;
    QChar m_delimiter;
    qsizetype m_line = 1;
    qsizetype m_openLine = 1;
    int m_kind = -1; // 0 LF, 1 CR, 2 CR LF
};

struct Synonyms
{
    Column column;
    QStringList names;
};

const QList<Synonyms> &synonyms()
{
    static const QList<Synonyms> list = {
        { Column::Description,
            { "payee", "description", "name", "bill", "item", "title", "payee name" } },
        { Column::DueDate,
            { "due date", "due", "date", "next date", "next due", "next due date" } },
        { Column::Expense,
            { "expense", "expense amount", "bill amount", "debit", "withdrawal", "outflow",
                "payment" } },
        { Column::Income,
            { "income", "income amount", "pay amount", "credit", "deposit", "inflow" } },
        { Column::Amount, { "amount", "value", "sum", "signed amount" } },
        { Column::Frequency, { "frequency", "repeat every", "repeat", "every", "interval" } },
        { Column::Units, { "units", "unit", "period", "recurrence", "repeat unit" } },
        { Column::EndDate, { "end date", "end", "until", "last date", "final date" } },
        { Column::WarningDays, { "warning days", "warning", "reminder days", "remind days" } },
        { Column::UserField1, { "user field 1" } },
        { Column::UserField2, { "user field 2" } },
        { Column::UserField3, { "user field 3" } },
        { Column::UserField4, { "user field 4" } },
        { Column::Budget, { "budget", "budget amount" } },
        { Column::Balance, { "balance" } },
    };
    return list;
}

std::optional<Column> columnForName(const QString &name)
{
    QString key = name.trimmed().toLower();
    key.replace(QRegularExpression(QStringLiteral("[_\\s]+")), QStringLiteral(" "));
    for (const Synonyms &s : synonyms())
        if (s.names.contains(key))
            return s.column;
    return std::nullopt;
}

const QHash<QString, Repeat> &repeatWords()
{
    static const QHash<QString, Repeat> words = [] {
        QHash<QString, Repeat> w;
        const QString oneTime = QStringLiteral("One Time");
        for (const char *s : { "one time", "onetime", "once", "none", "never", "no repeat" })
            w.insert(QString::fromLatin1(s), { 0, oneTime });
        auto add
            = [&w](std::initializer_list<const char *> names, int frequency, const char *units) {
                  for (const char *s : names)
                      w.insert(QString::fromLatin1(s), { frequency, QString::fromLatin1(units) });
              };
        add({ "day", "days", "daily" }, 1, "Days");
        add({ "week", "weeks", "weekly" }, 1, "Weeks");
        add({ "biweekly", "bi weekly", "fortnightly", "fortnight" }, 2, "Weeks");
        add({ "half month", "half months", "halfmonth", "halfmonths", "semi monthly", "semimonthly",
                "twice a month", "twice monthly" },
            1, "Half Months");
        add({ "month", "months", "monthly" }, 1, "Months");
        add({ "quarter", "quarters", "quarterly" }, 3, "Months");
        add({ "semi annually", "semiannually", "semi annual", "half yearly", "twice a year" }, 6,
            "Months");
        add({ "year", "years", "yearly", "annually", "annual" }, 1, "Years");
        return w;
    }();
    return words;
}

// The runs of digits in a date ("4/1/2024": 4, 1, 2024): how many, and the
// length of the first and of all of them together. Done by hand: it runs for
// every date of a file.
int parts(QStringView text, int out[3], int *firstDigits, int *allDigits = nullptr)
{
    int n = 0, length = 0, total = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const QChar c = i < text.size() ? text[i] : QChar();
        if (c >= u'0' && c <= u'9') {
            if (length == 0 && n == 3)
                return 4;
            if (length == 0)
                out[n] = 0;
            if (++length > 6)
                return 0;
            out[n] = out[n] * 10 + (c.unicode() - u'0');
            ++total;
            continue;
        }
        if (length > 0) {
            if (n == 0)
                *firstDigits = length;
            ++n;
            length = 0;
        }
    }
    if (allDigits)
        *allDigits = total;
    return n;
}

QString cell(const QStringList &record, const QList<Column> &columns, Column kind)
{
    const qsizetype at = columns.indexOf(kind);
    return at >= 0 && at < record.size() ? record[at].trimmed() : QString();
}

bool isNumberLike(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[-+(]?[$€£]?\\s*[\\d.,' ]+\\)?$"));
    return !text.trimmed().isEmpty() && number.match(text.trimmed()).hasMatch();
}

bool isDateLike(const QString &text)
{
    static const QRegularExpression date(QStringLiteral("^\\d{1,4}[-/.]\\d{1,2}[-/.]\\d{1,4}$"));
    return date.match(text.trimmed()).hasMatch();
}

DateOrder localeDateOrder()
{
    const QString format = QLocale().dateFormat(QLocale::ShortFormat).trimmed();
    if (format.startsWith(u'd'))
        return DateOrder::DayMonthYear;
    if (format.startsWith(u'y'))
        return DateOrder::YearMonthDay;
    return DateOrder::MonthDayYear;
}

DateOrder guessDateOrder(const QList<QStringList> &rows, const QList<Column> &columns)
{
    for (const QStringList &row : rows) {
        for (Column c : { Column::DueDate, Column::EndDate }) {
            int p[3] = {};
            int firstDigits = 0;
            if (parts(cell(row, columns, c), p, &firstDigits) != 3)
                continue;
            if (firstDigits == 4)
                return DateOrder::YearMonthDay;
            if (p[0] > 12)
                return DateOrder::DayMonthYear;
            if (p[1] > 12)
                return DateOrder::MonthDayYear;
        }
    }
    return localeDateOrder();
}

QChar guessDecimal(const QList<QStringList> &rows, const QList<Column> &columns, QChar delimiter)
{
    static const QRegularExpression tail(QStringLiteral("([.,])\\d{1,2}\\)?$"));
    for (const QStringList &row : rows)
        for (Column c :
            { Column::Expense, Column::Income, Column::Amount, Column::Budget, Column::Balance }) {
            const QRegularExpressionMatch m = tail.match(cell(row, columns, c));
            if (m.hasMatch())
                return m.captured(1).at(0);
        }
    return delimiter == u',' ? QChar(u'.') : QLocale().decimalPoint().at(0);
}

struct Builder
{
    const Options &options;

    std::optional<Money> amount(const QString &text, const char *what, QString &problem) const
    {
        if (text.isEmpty())
            return std::nullopt;
        std::optional<Money> m = parseAmount(text, options.decimal);
        if (!m)
            problem = tr("'%1' is not an amount for %2").arg(text, tr(what));
        return m;
    }

    void date(const QString &text, const char *what, QDate &out, QString &problem) const
    {
        if (text.isEmpty())
            return;
        if (std::optional<QDate> d = parseDate(text, options.dateOrder))
            out = *d;
        else
            problem = tr("'%1' is not a date for %2 in the order chosen").arg(text, tr(what));
    }

    void repeat(const QStringList &record, SourceSchedule &s, QString &problem) const
    {
        const QString every = cell(record, options.columns, Column::Frequency);
        const QString units = cell(record, options.columns, Column::Units);
        s.recurrenceText = QStringList{ every, units }.join(u' ').trimmed();
        bool numeric = false;
        int frequency = every.toInt(&numeric);
        Repeat rule{ numeric ? frequency : 1, QString() };
        if (!every.isEmpty() && !numeric) {
            // "monthly" in the Repeat column says it all.
            if (std::optional<Repeat> r = repeatFromText(every))
                rule = *r;
            else
                problem = tr("'%1' is not a number of units").arg(every);
        }
        if (!units.isEmpty()) {
            if (std::optional<Repeat> r = repeatFromText(units))
                rule = { r->units == QLatin1String("One Time") ? 0 : rule.frequency * r->frequency,
                    r->units };
            else
                problem = tr("'%1' is not a unit Duesmith knows").arg(units);
        } else if (every.isEmpty() || numeric) {
            rule = { 0, QStringLiteral("One Time") }; // no unit: the item falls due once
        }
        s.frequency = rule.frequency;
        s.units = rule.units.isEmpty() ? QStringLiteral("One Time") : rule.units;
    }

    SourceSchedule schedule(const QStringList &record, int number) const
    {
        SourceSchedule s;
        s.record = number;
        QString problem;
        s.description = cell(record, options.columns, Column::Description);
        date(cell(record, options.columns, Column::DueDate), "Due Date", s.nextDue, problem);
        date(cell(record, options.columns, Column::EndDate), "End Date", s.endDate, problem);
        const std::optional<Money> signedAmount
            = amount(cell(record, options.columns, Column::Amount), "Amount", problem);
        const std::optional<Money> expense
            = amount(cell(record, options.columns, Column::Expense), "Expense Amount", problem);
        const std::optional<Money> income
            = amount(cell(record, options.columns, Column::Income), "Income Amount", problem);
        if (signedAmount)
            s.amount = signedAmount;
        else if (expense || income)
            s.amount = income.value_or(Money()) - expense.value_or(Money());
        repeat(record, s, problem);
        if (s.nextDue.isValid())
            s.occurrences = { s.nextDue };
        for (Column c : { Column::Budget, Column::Balance }) {
            const QString text = cell(record, options.columns, c);
            const QString field
                = c == Column::Budget ? QStringLiteral("Budget") : QStringLiteral("Balance");
            const std::optional<Money> m = parseAmount(text, options.decimal);
            if (!text.isEmpty())
                s.itemFields.insert(field, m ? QString::fromLatin1(m->text()) : text);
        }
        const QString warn = cell(record, options.columns, Column::WarningDays);
        if (!warn.isEmpty())
            s.itemFields.insert(QStringLiteral("Warning Days"), warn);
        for (int n = 1; n <= 4; ++n) {
            const QString text
                = cell(record, options.columns, Column(int(Column::UserField1) + n - 1));
            if (!text.isEmpty())
                s.itemFields.insert(QStringLiteral("User Field %1").arg(n), text);
        }
        s.problem = problem;
        return s;
    }
};
} // namespace

QString columnTitle(Column column)
{
    switch (column) {
    case Column::Ignore:
        return tr("(not imported)");
    case Column::Description:
        return tr("Payee");
    case Column::DueDate:
        return tr("Due Date");
    case Column::Expense:
        return tr("Expense Amount");
    case Column::Income:
        return tr("Income Amount");
    case Column::Amount:
        return tr("Amount (below zero: expense)");
    case Column::Frequency:
        return tr("Repeat Every");
    case Column::Units:
        return tr("Units");
    case Column::EndDate:
        return tr("End Date");
    case Column::WarningDays:
        return tr("Warning Days");
    case Column::UserField1:
    case Column::UserField2:
    case Column::UserField3:
    case Column::UserField4:
        return tr("User Field %1").arg(int(column) - int(Column::UserField1) + 1);
    case Column::Budget:
        return tr("Budget Amount");
    case Column::Balance:
        return tr("Balance");
    }
    return {};
}

Cells split(const QByteArray &bytes, const Options &options, qsizetype maxRecords)
{
    Cells cells;
    const QString text = decoded(bytes, options.encoding, &cells.error);
    if (!cells.error.isEmpty())
        return cells;
    return Splitter(text, options.delimiter).run(maxRecords);
}

QList<Column> proposeColumns(
    const QStringList &header, const QList<QStringList> &rows, bool hasHeader)
{
    QList<Column> columns;
    qsizetype width = header.size();
    for (const QStringList &r : rows)
        width = std::max(width, r.size());
    columns.fill(Column::Ignore, width);
    auto take = [&columns](int at, Column c) {
        if (!columns.contains(c))
            columns[at] = c;
    };
    if (hasHeader) {
        for (int i = 0; i < header.size(); ++i)
            if (std::optional<Column> c = columnForName(header[i]))
                take(i, *c);
        return columns;
    }
    // No names: the first date, the first word and the first number.
    const QStringList sample = rows.value(0);
    for (int i = 0; i < sample.size(); ++i) {
        const QString v = sample[i].trimmed();
        if (isDateLike(v))
            take(i, columns.contains(Column::DueDate) ? Column::EndDate : Column::DueDate);
        else if (isNumberLike(v))
            take(i, Column::Amount);
        else if (repeatFromText(v) && columns.contains(Column::Description))
            take(i, Column::Units);
        else if (!v.isEmpty())
            take(i, Column::Description);
    }
    return columns;
}

Options detect(const QByteArray &bytes)
{
    Options options;
    options.encoding = isUtf8(bytes) ? Encoding::Utf8 : Encoding::Windows1252;
    int bestRows = -1, bestWidth = 0;
    for (QChar d : { QChar(u','), QChar(u';'), QChar(u'\t') }) {
        Options o = options;
        o.delimiter = d;
        // A fault further on does not hide what the lines before it show.
        const Cells cells = split(bytes, o, 50);
        if (cells.records.isEmpty())
            continue;
        // The delimiter that gives most records the same number of fields, above one.
        QHash<qsizetype, int> counts;
        for (const QStringList &r : cells.records)
            ++counts[r.size()];
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.key() > 1
                && (it.value() > bestRows || (it.value() == bestRows && it.key() > bestWidth))) {
                bestRows = it.value();
                bestWidth = int(it.key());
                options.delimiter = d;
            }
    }
    const Cells cells = split(bytes, options, 50);
    const QStringList first = cells.records.value(0);
    const QList<QStringList> rest = cells.records.mid(1);
    bool named = std::any_of(
        first.begin(), first.end(), [](const QString &c) { return columnForName(c).has_value(); });
    const bool firstHasValues = std::any_of(first.begin(), first.end(),
        [](const QString &c) { return isDateLike(c) || isNumberLike(c); });
    options.header = named || (!firstHasValues && !rest.isEmpty());
    options.columns = proposeColumns(options.header ? first : QStringList(),
        options.header ? rest : cells.records, options.header);
    const QList<QStringList> &data = options.header ? rest : cells.records;
    options.dateOrder = guessDateOrder(data, options.columns);
    options.decimal = guessDecimal(data, options.columns, options.delimiter);
    return options;
}

SourceBook read(const QByteArray &bytes, const Options &options, const ReadProgress &progress,
    qsizetype maxRows)
{
    SourceBook book;
    book.format = tr("Delimited text");
    const qsizetype first = options.header ? 1 : 0;
    const Cells cells = split(bytes, options, maxRows < 0 ? -1 : maxRows + first);
    if (!cells.error.isEmpty()) {
        book.error = cells.error;
        return book;
    }
    if (cells.records.size() <= first) {
        book.error = tr("The file holds no rows to import.");
        return book;
    }
    const Builder builder{ options };
    book.schedules.reserve(cells.records.size() - first);
    for (qsizetype i = first; i < cells.records.size(); ++i) {
        if (progress && i % 512 == 0 && !progress(int(i * 1000 / cells.records.size()))) {
            book.schedules.clear();
            book.error = tr("The import was cancelled.");
            return book;
        }
        book.schedules.append(builder.schedule(cells.records[i], int(i - first + 1)));
    }
    return book;
}

std::optional<Repeat> repeatFromText(const QString &text)
{
    QString key = text.toLower();
    for (QChar &c : key)
        if (c == u'-' || c == u'_')
            c = u' ';
    key = key.simplified();
    if (key.startsWith(QLatin1String("every ")))
        key = key.mid(6);
    const auto &words = repeatWords();
    if (auto it = words.constFind(key); it != words.cend())
        return *it;
    // "2 weeks", "every 3 months"
    static const QRegularExpression counted(QStringLiteral("^(\\d{1,4}) (.+)$"));
    const QRegularExpressionMatch m = counted.match(key);
    if (m.hasMatch()) {
        if (auto it = words.constFind(m.captured(2)); it != words.cend() && it->frequency > 0)
            return Repeat{ m.captured(1).toInt() * it->frequency, it->units };
    }
    return std::nullopt;
}

std::optional<QDate> parseDate(const QString &text, DateOrder order)
{
    int p[3] = {};
    int firstDigits = 0, allDigits = 0;
    if (parts(text, p, &firstDigits, &allDigits) != 3)
        return std::nullopt;
    int y = 0, m = 0, d = 0;
    switch (order) {
    case DateOrder::MonthDayYear:
        m = p[0], d = p[1], y = p[2];
        break;
    case DateOrder::DayMonthYear:
        d = p[0], m = p[1], y = p[2];
        break;
    case DateOrder::YearMonthDay:
        y = p[0], m = p[1], d = p[2];
        break;
    }
    if (y < 100 && allDigits <= 6)
        y += 2000; // a two-digit year is this century's
    const QDate date(y, m, d);
    if (!date.isValid() || y < 1 || y > 9999)
        return std::nullopt;
    return date;
}

std::optional<Money> parseAmount(const QString &text, QChar decimal)
{
    QStringView t = QStringView(text).trimmed();
    bool negative = false;
    if (t.startsWith(u'(') && t.endsWith(u')')) {
        negative = true; // accountants' way of writing a negative amount
        t = t.sliced(1, t.size() - 2);
    }
    // Digits and one decimal separator; signs at either end, currency
    // symbols, spaces and grouping are passed over.
    const QChar grouping = decimal == u',' ? u'.' : u',';
    char digits[64];
    qsizetype n = 0;
    int decimals = -1;
    bool any = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= u'0' && c <= u'9') {
            if (n >= qsizetype(sizeof digits) - 2)
                return std::nullopt;
            digits[n++] = char(c.unicode());
            any = true;
            if (decimals >= 0 && ++decimals > 4)
                return std::nullopt;
        } else if (c == decimal && decimals < 0) {
            digits[n++] = '.';
            decimals = 0;
        } else if ((c == u'-' || c == u'+') && (i == 0 || i == t.size() - 1)) {
            negative = negative != (c == u'-');
        } else if (c == grouping && decimals < 0 && any) {
            continue;
        } else if (!(c.isSpace() || c == u'\'' || c.category() == QChar::Symbol_Currency)) {
            return std::nullopt;
        }
    }
    if (!any)
        return std::nullopt;
    std::optional<Money> m = Money::fromText(QByteArrayView(digits, n));
    if (m && negative)
        m = -*m;
    return m;
}
} // namespace DelimitedText
