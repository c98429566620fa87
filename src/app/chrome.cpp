#include "chrome.h"

#include "colours.h"
#include "windows.h"

#include "dialogs/frmabout.h"
#include "platform/desktop.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QToolBar>

QLabel *Chrome::titleStrip(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedHeight(18);
    QFont f = label->font();
    f.setBold(true);
    f.setPixelSize(13);
    label->setFont(f);
    label->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                       "stop:0 #3a5a9a, stop:1 #0a2060); }"));
    return label;
}

namespace {
const QColor Ink(20, 60, 140);

// The glyphs of the list's own commands; false for any other.
bool drawItemGlyph(QPainter &p, Chrome::Glyph kind)
{
    using Glyph = Chrome::Glyph;
    switch (kind) {
    case Glyph::New:
        p.setBrush(Qt::white);
        p.drawRect(5, 3, 13, 18);
        p.drawLine(8, 8, 15, 8);
        p.drawLine(8, 12, 15, 12);
        break;
    case Glyph::Copy:
        p.setBrush(Qt::white);
        p.drawRect(3, 3, 11, 14);
        p.drawRect(9, 7, 11, 14);
        break;
    case Glyph::Delete:
        p.setPen(QPen(QColor(200, 0, 0), 3));
        p.drawLine(5, 5, 19, 19);
        p.drawLine(19, 5, 5, 19);
        break;
    case Glyph::PayBills:
        p.setBrush(QColor(60, 160, 60));
        p.drawRoundedRect(2, 6, 20, 12, 2, 2);
        p.setPen(Qt::white);
        p.drawText(QRect(2, 6, 20, 12), Qt::AlignCenter, QStringLiteral("$"));
        break;
    case Glyph::Payees:
        p.setBrush(QColor(250, 230, 160));
        p.drawEllipse(8, 3, 8, 8);
        p.drawRoundedRect(4, 12, 16, 9, 4, 4);
        break;
    case Glyph::Calculator:
        p.setBrush(QColor(230, 230, 230));
        p.drawRect(5, 2, 14, 20);
        p.setBrush(QColor(180, 220, 180));
        p.drawRect(7, 4, 10, 5);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                p.drawRect(7 + c * 4, 11 + r * 3, 2, 2);
        break;
    default:
        return false;
    }
    return true;
}

// The glyphs of the windows and tools the toolbar opens; false for any other.
bool drawToolGlyph(QPainter &p, Chrome::Glyph kind)
{
    using Glyph = Chrome::Glyph;
    const QColor ink = Ink;
    switch (kind) {
    case Glyph::Reports:
        p.setBrush(Qt::white);
        p.drawRect(4, 2, 16, 20);
        p.setBrush(ink);
        p.drawRect(7, 14, 2, 5);
        p.drawRect(11, 10, 2, 9);
        p.drawRect(15, 7, 2, 12);
        break;
    case Glyph::History:
        p.setBrush(Qt::white);
        p.drawEllipse(3, 3, 18, 18);
        p.drawLine(12, 12, 12, 6);
        p.drawLine(12, 12, 16, 14);
        break;
    case Glyph::Backup:
        p.setBrush(QColor(90, 90, 160));
        p.drawRect(4, 4, 16, 16);
        p.setBrush(Qt::white);
        p.drawRect(7, 4, 10, 6);
        break;
    case Glyph::Export:
        p.setBrush(Qt::white);
        p.drawRect(3, 5, 11, 15);
        p.setPen(QPen(QColor(0, 130, 0), 2.5));
        p.drawLine(10, 12, 21, 12);
        p.drawLine(17, 8, 21, 12);
        p.drawLine(17, 16, 21, 12);
        break;
    case Glyph::Options:
        p.setBrush(QColor(200, 200, 200));
        p.drawEllipse(5, 5, 14, 14);
        p.setBrush(Qt::white);
        p.drawEllipse(9, 9, 6, 6);
        break;
    default:
        return false;
    }
    return true;
}

// The wizard's arrows: back points left, next and continue right.
void drawArrow(QPainter &p, Chrome::Glyph kind)
{
    using Glyph = Chrome::Glyph;
    p.setBrush(kind == Glyph::Back ? QColor(200, 120, 40) : QColor(40, 150, 60));
    p.setPen(Qt::NoPen);
    QPolygonF arrow;
    if (kind == Glyph::Back)
        arrow << QPointF(3, 12) << QPointF(12, 4) << QPointF(12, 9) << QPointF(21, 9)
              << QPointF(21, 15) << QPointF(12, 15) << QPointF(12, 20);
    else
        arrow << QPointF(21, 12) << QPointF(12, 4) << QPointF(12, 9) << QPointF(3, 9)
              << QPointF(3, 15) << QPointF(12, 15) << QPointF(12, 20);
    p.drawPolygon(arrow);
}
} // namespace

QIcon Chrome::glyph(Glyph kind)
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Ink, 1.5));
    if (!drawItemGlyph(p, kind) && !drawToolGlyph(p, kind))
        drawArrow(p, kind);
    return QIcon(pm);
}

QToolBar *Chrome::toolBar(QWidget *parent)
{
    auto *bar = new QToolBar(QStringLiteral("File"), parent);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(24, 24));
    bar->setFixedHeight(47);
    // The light gradient belongs to a light desktop; a dark one keeps its own button face.
    const QString face = Colours::isDark(bar->palette())
        ? QStringLiteral("QToolBar { border-bottom: 1px solid palette(mid); spacing: 1px; }")
        : QStringLiteral("QToolBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                         "stop:0 #f4f6fb, stop:1 #d6dcea);"
                         " border-bottom: 1px solid #8090b0; spacing: 1px; }");
    bar->setStyleSheet(face
        // A narrow face, so that "Calculator" fits a 50-pixel button.
        + QStringLiteral(" QToolButton { min-width: 50px; min-height: 38px; font-family: "
                         "'Liberation Sans Narrow', 'Liberation Sans'; font-size: 11px; "
                         "padding: 0px 1px; }"));
    return bar;
}

void Chrome::addHelpMenu(
    QMenuBar *bar, QWidget *owner, const QString &screenPage, const std::function<void()> &toolTip)
{
    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    QObject::connect(help->addAction(QStringLiteral("&Contents")), &QAction::triggered, owner,
        [] { Help::open(QStringLiteral("index.hta")); });
    QAction *onScreen = help->addAction(QStringLiteral("&Help on This Screen"));
    onScreen->setShortcut(QKeySequence(Qt::Key_F1));
    onScreen->setShortcutContext(
        Qt::WidgetShortcut); // the window's key handler applies the F1 rule
    QObject::connect(
        onScreen, &QAction::triggered, owner, [screenPage] { Help::open(screenPage); });
    if (toolTip)
        QObject::connect(
            help->addAction(QStringLiteral("Tool Ti&p")), &QAction::triggered, owner, toolTip);
    help->addSeparator();
    QObject::connect(help->addAction(QStringLiteral("&Duesmith Home Page...")), &QAction::triggered,
        owner, [] { Help::openWeb(Help::homePage()); });
    QObject::connect(help->addAction(Help::makerEntryCaption()), &QAction::triggered, owner,
        [] { Help::openWeb(Help::makerPage()); });
    QObject::connect(help->addAction(QStringLiteral("&About...")), &QAction::triggered, owner, [] {
        if (Windows::frmAbout)
            Windows::frmAbout->exec();
    });
}
