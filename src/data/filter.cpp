#include "filter.h"

#include "engine.h"
#include "engineerror.h"
#include "formats.h"

namespace {
class Parser
{
public:
    Parser(const QString &text, const QList<FieldDef> &fields)
        : m_text(text)
        , m_fields(fields)
    { }

    CompiledFilter run()
    {
        CompiledFilter out;
        out.where = expression(out);
        skipSpace();
        if (m_pos < m_text.size())
            fail(QStringLiteral("unexpected '%1'").arg(m_text.mid(m_pos, 10)));
        return out;
    }

private:
    [[noreturn]] void fail(const QString &what)
    {
        throw EngineError(QStringLiteral("Filter expression incorrectly formed: %1").arg(what));
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
    }

    bool keyword(const char *word)
    {
        skipSpace();
        const QString w = QString::fromLatin1(word);
        if (m_text.mid(m_pos, w.size()).compare(w, Qt::CaseInsensitive) != 0)
            return false;
        const int after = m_pos + w.size();
        if (after < m_text.size() && m_text.at(after).isLetterOrNumber())
            return false;
        m_pos = after;
        return true;
    }

    QString expression(CompiledFilter &out)
    {
        QString sql = term(out);
        for (;;) {
            if (keyword("and"))
                sql += QStringLiteral(" AND ") + term(out);
            else if (keyword("or"))
                sql += QStringLiteral(" OR ") + term(out);
            else
                return sql;
        }
    }

    // Each parenthesis and "not" is a level of recursion here and of the
    // expression SQLite parses; a long enough run of them would overflow the stack.
    static constexpr int MaxDepth = 100;

    QString term(CompiledFilter &out)
    {
        if (++m_depth > MaxDepth)
            fail(QStringLiteral("nested too deeply"));
        QString sql = innerTerm(out);
        --m_depth;
        return sql;
    }

    QString innerTerm(CompiledFilter &out)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text.at(m_pos) == QLatin1Char('(')) {
            ++m_pos;
            const QString inner = expression(out);
            skipSpace();
            if (m_pos >= m_text.size() || m_text.at(m_pos) != QLatin1Char(')'))
                fail(QStringLiteral("missing ')'"));
            ++m_pos;
            return QLatin1Char('(') + inner + QLatin1Char(')');
        }
        if (keyword("not"))
            return QStringLiteral("NOT ") + term(out);
        const FieldDef field = fieldName();
        const QString op = comparison();
        const QVariant value = literal(field);
        if (value.isNull()) {
            if (op == QLatin1String("="))
                return Engine::quote(field.name) + QStringLiteral(" IS NULL");
            if (op == QLatin1String("<>"))
                return Engine::quote(field.name) + QStringLiteral(" IS NOT NULL");
        }
        out.params.append(value);
        return Engine::quote(field.name) + QLatin1Char(' ') + op + QStringLiteral(" ?");
    }

    FieldDef fieldName()
    {
        skipSpace();
        if (m_pos >= m_text.size() || m_text.at(m_pos) != QLatin1Char('['))
            fail(QStringLiteral("a field name in brackets was expected"));
        const int close = m_text.indexOf(QLatin1Char(']'), m_pos);
        if (close < 0)
            fail(QStringLiteral("missing ']'"));
        const QString name = m_text.mid(m_pos + 1, close - m_pos - 1).trimmed();
        m_pos = close + 1;
        for (const FieldDef &f : m_fields)
            if (f.name.compare(name, Qt::CaseInsensitive) == 0)
                return f;
        throw EngineError(QStringLiteral("Field '%1' not found").arg(name));
    }

    QString comparison()
    {
        skipSpace();
        static const char *ops[] = { "<>", "<=", ">=", "=", "<", ">" };
        for (const char *op : ops) {
            const QString o = QString::fromLatin1(op);
            if (m_text.mid(m_pos, o.size()) == o) {
                m_pos += o.size();
                return o;
            }
        }
        fail(QStringLiteral("a comparison was expected"));
    }

    QVariant literal(const FieldDef &field)
    {
        skipSpace();
        QString text;
        if (m_pos < m_text.size()
            && (m_text.at(m_pos) == QLatin1Char('\'') || m_text.at(m_pos) == QLatin1Char('"'))) {
            const QChar quote = m_text.at(m_pos++);
            for (;;) {
                if (m_pos >= m_text.size())
                    fail(QStringLiteral("unterminated text"));
                const QChar c = m_text.at(m_pos++);
                if (c == quote) {
                    if (m_pos < m_text.size() && m_text.at(m_pos) == quote) {
                        text += quote;
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                text += c;
            }
        } else {
            const int start = m_pos;
            while (m_pos < m_text.size() && !m_text.at(m_pos).isSpace()
                && m_text.at(m_pos) != QLatin1Char(')'))
                ++m_pos;
            text = m_text.mid(start, m_pos - start);
            if (text.isEmpty())
                fail(QStringLiteral("a value was expected"));
        }
        if (text.isEmpty())
            return {};
        switch (field.type) {
        case FieldType::Date: {
            const QDate d = Formats::parseDate(text);
            if (!d.isValid())
                throw EngineError(QStringLiteral("'%1' is not a valid date").arg(text));
            return d.toString(Qt::ISODate);
        }
        case FieldType::Money: {
            double v = 0;
            if (!Formats::parseNumber(text, v))
                throw EngineError(
                    QStringLiteral("'%1' is not a valid floating point value").arg(text));
            return v;
        }
        case FieldType::SmallInt:
        case FieldType::Counter: {
            bool ok = false;
            const qlonglong v = text.trimmed().toLongLong(&ok);
            if (!ok)
                throw EngineError(QStringLiteral("'%1' is not a valid integer value").arg(text));
            return v;
        }
        case FieldType::Text:
            return text;
        }
        return text;
    }

    QString m_text;
    const QList<FieldDef> &m_fields;
    int m_pos = 0;
    int m_depth = 0;
};
} // namespace

CompiledFilter compileFilter(const QString &expression, const QList<FieldDef> &fields)
{
    if (expression.trimmed().isEmpty())
        return {};
    return Parser(expression, fields).run();
}
