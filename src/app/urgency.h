#pragma once

#include "domain/urgency.h"

#include <QColor>
#include <QPixmap>

// The colours and markers of the urgency bands.
namespace Urgency {
QColor textColor(int band);
// Gauges of four segments, 18 by 16.
QPixmap dueMarker(int band);
// Numbered balls, 16 by 16.
QPixmap payMarker(int band);
constexpr int DueMarkerWidth = 18;
constexpr int PayMarkerWidth = 16;
} // namespace Urgency
