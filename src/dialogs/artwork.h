#pragma once

#include <QPixmap>

// The pictures of the auxiliary windows, drawn rather than loaded.
namespace Artwork {
// 32 by 32: a lit bulb, for the tips.
QPixmap tipBulb();
// 32 by 32: a speech balloon with a question mark, for the introduction.
QPixmap questionBalloon();
// A miniature of the main window with the product's name over it.
QPixmap mainWindowMiniature(const QSize &size);
} // namespace Artwork
