#pragma once

#include "dataset.h"

#include <QColor>
#include <QPageLayout>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ReportEngine {

enum class Align { Left, Center, Right };

// Fonts by their point size; the engine maps them onto any device's resolution.
struct TextStyle
{
    QString family = QStringLiteral("Liberation Sans"); // metrics of Arial
    double points = 8;
    bool bold = false;
    bool underline = false;
    QColor color = Qt::black;
};

// One thing a band prints. Positions and sizes are in 1/96 inch from the band's
// top left; a line's height is its pen width.
struct Element
{
    enum class Kind { Label, Field, Sum, Line };
    Kind kind = Kind::Label;
    QString name; // lets a hook find a label
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 13;
    Align align = Align::Left;
    TextStyle style;
    QString text; // a label's text
    QString field; // the field a field element prints or a sum adds up
    // A field that wraps at its width and grows downward to show all of its
    // text; what lies below it in the band moves down with it.
    bool grows = false;
    // The text of a field's value when it is not the field's display format.
    std::function<QString(const QVariant &)> format;
};

Element label(const QString &text, double x, double y, double width, Align align = Align::Left,
    const TextStyle &style = {});
Element field(const QString &name, double x, double y, double width, Align align = Align::Left,
    const TextStyle &style = {});
Element sum(const QString &name, double x, double y, double width, Align align = Align::Right,
    const TextStyle &style = {});
Element line(double x, double y, double length, double penWidth, const QColor &color = Qt::black);

struct Band
{
    double height = 0;
    std::vector<Element> elements;
    // Runs each time the band is about to print (labels may change; heights may not).
    std::function<void(Band &)> beforePrint;

    // The element of that name; nullptr when there is none.
    Element *find(const QString &name);
};

// A report: a page header on every page, a detail band per record of the data
// set, a summary band after the last record.
struct Definition
{
    // Runs before any record is read: opens the data and sets the labels.
    std::function<void(Definition &)> beforePrint;
    std::shared_ptr<const DataSet> data;
    Band pageHeader;
    Band detail;
    std::optional<Band> summary;
    QPageLayout page;
};

// The paper of the user's locale (Letter where it is the custom, A4
// elsewhere), portrait, no left margin.
QPageLayout defaultPageLayout();

} // namespace ReportEngine
