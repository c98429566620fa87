#pragma once

#include <QBrush>
#include <QColor>
#include <QPalette>

#include "platform/palette.h"

// The palette's colours (platform/palette.h) on screen: in a light palette they are used
// as they are; in a dark one, `readable` lightens them until they stand out from the
// field they are drawn on.
namespace Colours {

// Whether the palette draws its fields darker than their text (a dark desktop).
bool isDark(const QPalette &palette);
// The contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double contrast(const QColor &a, const QColor &b);
// The colour itself when it reads on the background at 4.5:1 or better; otherwise the
// same hue made lighter until it does.
QColor readable(const QColor &colour, const QColor &background);
// For text on the palette's fields (Base): the colour as given in a light palette, made
// readable in a dark one.
QColor onBase(const QColor &colour, const QPalette &palette);
// A model's foreground brush: `onBase` on the application's palette.
QBrush foreground(const QColor &colour);
} // namespace Colours
