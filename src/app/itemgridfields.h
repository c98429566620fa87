#pragma once

#include <QString>

// Names the grid, its delegate and its key handling share.
namespace ItemGridFields {
inline const QString PayNow = QStringLiteral("PayNow");
inline const QString Units = QStringLiteral("Units");
} // namespace ItemGridFields
