#include "codepage.h"

#include <QString>

#include <array>

namespace {
// 0x80..0x9F; 0 marks the five codes the code page leaves undefined.
constexpr std::array<char16_t, 32> High = { 0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020,
    0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D,
    0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178 };

int byteFor(char32_t c)
{
    if ((c > 0 && c < 0x80) || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (std::size_t i = 0; i < High.size(); ++i)
        if (High[i] != 0 && High[i] == c)
            return int(0x80 + i);
    return -1;
}
} // namespace

bool Cp1252::encode(QStringView text, QByteArray &out)
{
    bool exact = true;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        const int b = byteFor(c);
        if (b < 0) {
            out.append('?');
            exact = false;
        } else {
            out.append(char(b));
        }
    }
    return exact;
}

QString Cp1252::decode(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0 && High[b - 0x80] != 0)
            out.append(QChar(High[b - 0x80]));
        else
            out.append(QChar(b));
    }
    return out;
}
