#include "colours.h"

#include <QGuiApplication>

#include <cmath>

namespace {
double luminance(const QColor &c)
{
    auto channel
        = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

constexpr double Readable = 4.5;
} // namespace

bool Colours::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightness() < palette.color(QPalette::Text).lightness();
}

double Colours::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Colours::readable(const QColor &colour, const QColor &background)
{
    if (contrast(colour, background) >= Readable)
        return colour;
    float h, s, l, a;
    colour.getHslF(&h, &s, &l, &a);
    // Step the lightness towards white until the text reads.
    for (int step = 1; step <= 20; ++step) {
        const QColor tried = QColor::fromHslF(h, s, l + (1 - l) * float(step) / 20.0f, a);
        if (contrast(tried, background) >= Readable)
            return tried;
    }
    return QColor(Qt::white);
}

QColor Colours::onBase(const QColor &colour, const QPalette &palette)
{
    return isDark(palette) ? readable(colour, palette.color(QPalette::Base)) : colour;
}

QBrush Colours::foreground(const QColor &colour)
{
    return QBrush(onBase(colour, QGuiApplication::palette()));
}
