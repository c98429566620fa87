#pragma once

#include <QColor>

// The colours the lists, summaries, planning windows and pictures give their
// text and marks, written once for every layer that draws.
namespace Colours {
inline const QColor Maroon(128, 0, 0);
inline const QColor Green(0, 128, 0);
inline const QColor Red(255, 0, 0);
inline const QColor Orange(255, 128, 0);
inline const QColor Blue(0, 0, 255);
} // namespace Colours
