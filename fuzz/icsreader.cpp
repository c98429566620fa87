#include "icsreader.h"

#include <QStringDecoder>

std::optional<QList<IcsReader::Property>> IcsReader::read(const QByteArray &file, QString *fault)
{
    auto refuse = [fault](const QString &why) {
        *fault = why;
        return std::nullopt;
    };
    if (!file.endsWith("\r\n"))
        return refuse(QStringLiteral("the file does not end in CRLF"));
    // Physical lines first: each ends in CRLF, nothing else breaks a line.
    QList<QByteArray> physical = file.left(file.size() - 2).split('\n');
    QList<QByteArray> logical;
    for (qsizetype i = 0; i < physical.size(); ++i) {
        QByteArray line = physical[i];
        // Every line but the last lost its LF to the split; the last its CRLF.
        if (i + 1 < physical.size()) {
            if (!line.endsWith('\r'))
                return refuse(QStringLiteral("a bare LF in line %1").arg(i + 1));
            line.chop(1);
        }
        if (line.contains('\r'))
            return refuse(QStringLiteral("a bare CR in line %1").arg(i + 1));
        if (line.size() > 75)
            return refuse(QStringLiteral("line %1 has %2 octets").arg(i + 1).arg(line.size()));
        if (!line.isEmpty() && (line[0] == ' ' || line[0] == '\t')) {
            if (logical.isEmpty())
                return refuse(QStringLiteral("the file starts with a continuation"));
            logical.last() += line.mid(1);
        } else {
            logical.append(line);
        }
    }
    QList<Property> out;
    for (const QByteArray &line : std::as_const(logical)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8(line);
        if (utf8.hasError())
            return refuse(QStringLiteral("a line is no UTF-8"));
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            return refuse(QStringLiteral("a line without a name: %1").arg(text.left(40)));
        const QString head = text.left(colon);
        const qsizetype semicolon = head.indexOf(QLatin1Char(';'));
        out.append({ semicolon < 0 ? head : head.left(semicolon),
            semicolon < 0 ? QString() : head.mid(semicolon), text.mid(colon + 1) });
    }
    return out;
}

std::optional<QString> IcsReader::unescape(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char(';') || c == QLatin1Char(','))
            return std::nullopt; // must be escaped in a single TEXT value
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i >= value.size())
            return std::nullopt;
        switch (value[i].unicode()) {
        case '\\':
        case ';':
        case ',':
            out += value[i];
            break;
        case 'n':
        case 'N':
            out += QLatin1Char('\n');
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}
