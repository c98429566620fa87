#include "text.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {
using ReportEngine::TextStyle;

QFont baseFont(const TextStyle &style, double points)
{
    QFont font(style.family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(style.bold);
    font.setUnderline(style.underline);
    // Unhinted glyphs have the same advances at every resolution.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// Metrics in 1/96 inch, kept per style (the reports use only a handful) and
// per thread: pages are laid out and written aside.
struct Metrics
{
    QString family;
    double points;
    bool bold;
    bool underline;
    std::unique_ptr<QFontMetricsF> font;
    // Above the advance of each ASCII character, and of any other one (a
    // glyph the font lacks comes from another font, an em or so wide): their
    // sum bounds a text's width without shaping it.
    std::array<double, 128> ascii;
    double other;
};

const Metrics &entry(const TextStyle &style)
{
    thread_local std::vector<std::unique_ptr<Metrics>> entries;
    for (const auto &e : entries)
        if (e->points == style.points && e->bold == style.bold && e->underline == style.underline
            && e->family == style.family)
            return *e;
    thread_local QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32);
        const int perMetre = qRound(96 / 0.0254);
        image.setDotsPerMeterX(perMetre);
        image.setDotsPerMeterY(perMetre);
        return image;
    }();
    auto e = std::make_unique<Metrics>();
    e->family = style.family;
    e->points = style.points;
    e->bold = style.bold;
    e->underline = style.underline;
    e->font = std::make_unique<QFontMetricsF>(baseFont(style, style.points), &device);
    e->other = std::max(e->font->maxWidth(), 2 * e->font->height());
    // Kerning and rounding may move a text's width a little either way.
    for (char16_t c = 0; c < 128; ++c)
        e->ascii[c] = e->font->horizontalAdvance(QChar(c)) * 1.05 + 0.1;
    entries.push_back(std::move(e));
    return *entries.back();
}

const QFontMetricsF &metrics(const TextStyle &style)
{
    return *entry(style).font;
}

// Whether a text without line feeds fits the width: by its bound when it
// can, shaped only when it must.
double bound(const Metrics &m, const QString &text)
{
    double sum = 0;
    for (const QChar c : text)
        sum += c.unicode() < 128 ? m.ascii[c.unicode()] : m.other;
    return sum;
}

bool fits(const Metrics &m, const QString &text, double width)
{
    return bound(m, text) <= width || m.font->horizontalAdvance(text) <= width;
}

// Breaks one paragraph (no line feeds) into lines of at most `width`.
void wrapParagraph(const Metrics &m, const QString &text, double width, QStringList &out)
{
    QString line;
    const QStringList words = text.split(QLatin1Char(' '));
    for (int w = 0; w < words.size(); ++w) {
        const QString &word = words[w];
        const QString candidate = w == 0 ? word : line + QLatin1Char(' ') + word;
        if (fits(m, candidate, width)) {
            line = candidate;
            continue;
        }
        if (w > 0) {
            out.append(line);
            line.clear();
        }
        // A word wider than a line is cut where it no longer fits; a word
        // that fits whole is not shaped letter by letter.
        QString piece;
        for (const QChar c : word) {
            if (!piece.isEmpty() && !fits(m, piece + c, width)) {
                out.append(piece);
                piece.clear();
            }
            piece += c;
        }
        line = piece;
    }
    out.append(line);
}
} // namespace

QFont ReportText::deviceFont(const TextStyle &style, const QPaintDevice *device)
{
    // A point is 96/72 units; the device turns points into pixels at its own
    // resolution before the painter scales units to pixels, so divide that out.
    const int dpi = device ? device->logicalDpiY() : 96;
    return baseFont(style, style.points * 96.0 / (dpi > 0 ? dpi : 96));
}

double ReportText::width(const TextStyle &style, const QString &text)
{
    return metrics(style).horizontalAdvance(text);
}

double ReportText::lineSpacing(const TextStyle &style)
{
    return metrics(style).lineSpacing();
}

QStringList ReportText::wrap(const TextStyle &style, const QString &text, double width)
{
    const Metrics &m = entry(style);
    QStringList lines;
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString &paragraph : plain.split(QLatin1Char('\n')))
        wrapParagraph(m, paragraph, width, lines);
    return lines;
}

int ReportText::lineCount(const TextStyle &style, const QString &text, double width)
{
    if (text.isEmpty())
        return 1;
    // Most texts are short: their bound is within the width, and they are
    // not shaped at all.
    const Metrics &m = entry(style);
    const bool plain
        = std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; });
    if (plain && bound(m, text) <= width)
        return 1;
    // Otherwise counted as drawn, without shaping the whole text first.
    return int(wrap(style, text, width).size());
}

bool ReportText::surelyFits(const TextStyle &style, const QString &text, double width)
{
    return bound(entry(style), text) <= width;
}

bool ReportText::surelyOneLine(const TextStyle &style, QByteArrayView utf8, double width)
{
    // Each byte of a character beyond ASCII counts as a whole other
    // character: the bound only grows.
    const Metrics &m = entry(style);
    double bound = 0;
    for (const char b : utf8) {
        const auto c = static_cast<unsigned char>(b);
        if (c < 0x20)
            return false;
        bound += c < 128 ? m.ascii[c] : m.other;
    }
    return bound <= width;
}
