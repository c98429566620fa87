#pragma once

#include "domain/cashflow.h"

#include <QColor>
#include <QPicture>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

// The forecast's rows as the window lists them and as its files hold them.
// Everything here only reads the forecast and makes no widget, so the files
// can be written on a worker thread while the window goes on answering.
namespace ForecastFile {
const QStringList &columnTitles();
// A cell's text as the list shows it.
QString cell(const CashFlow &forecast, std::size_t row, int column);
// The colour of a cell's text on a light field (screen and paper); invalid for plain text.
QColor cellColour(const CashFlow &forecast, std::size_t row, int column);

// Asked now and then with the rows written and the rows in all; false stops.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// What the PDF shows above the rows: made on the window's thread, where the
// chart lives, as a recording replayed on the page.
struct Heading
{
    QString title;
    QString summary;
    QPicture chart; // drawn at chartSize
    QSize chartSize;
};

// Each writes as it goes, holding no more than a page; false when progress
// said stop. A failed write shows when the caller's file is committed.
bool writePdf(
    QIODevice &out, const CashFlow &forecast, const Heading &heading, const Progress &progress);
bool writeCsv(QIODevice &out, const CashFlow &forecast, const Progress &progress);
} // namespace ForecastFile
