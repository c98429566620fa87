#pragma once

class QKeyEvent;
class QWidget;

// Small pieces every auxiliary window shares.
namespace DialogSupport {
// Places a top-level window in the middle of the screen it is on.
void centreOnScreen(QWidget *window);
// Deletes a lazily created window while the application object still exists.
void deleteAtExit(QWidget *window);
} // namespace DialogSupport
