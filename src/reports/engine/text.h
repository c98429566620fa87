#pragma once

#include "band.h"

#include <QFont>
#include <QStringList>

class QPaintDevice;

// Text of the reports: fonts sized for a device, widths measured the same way
// on every device so text wraps alike on screen, paper and PDF.
namespace ReportText {
// The font for drawing with a painter whose unit is 1/96 inch on `device`.
QFont deviceFont(const ReportEngine::TextStyle &style, const QPaintDevice *device);
// Width of a text in 1/96 inch, and the distance between lines.
double width(const ReportEngine::TextStyle &style, const QString &text);
double lineSpacing(const ReportEngine::TextStyle &style);
// The lines of a text broken at word boundaries (or within a word too long
// for a line) so that each fits the width; at least one line.
QStringList wrap(const ReportEngine::TextStyle &style, const QString &text, double width);
// How many lines wrap() makes, without building them when the text fits.
int lineCount(const ReportEngine::TextStyle &style, const QString &text, double width);
// Whether a text surely fits the width on one line, told without shaping it;
// false when only width() can tell.
bool surelyFits(const ReportEngine::TextStyle &style, const QString &text, double width);
// Whether UTF-8 text surely makes one line, told without making a QString;
// false when only lineCount() can tell.
bool surelyOneLine(const ReportEngine::TextStyle &style, QByteArrayView utf8, double width);
} // namespace ReportText
