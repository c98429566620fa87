#pragma once

#include "tablefiles.h"

#include <QString>
#include <QStringList>

// The template tables shipped beside the program and the live tables they become.
namespace Templates {
inline const QString &Schedule = TableFiles::ScheduleTemplate;
inline const QString &Age = TableFiles::AgingTemplate;
inline const QString &Payee = TableFiles::PayeeTemplate;

// Writes the three templates into a folder, replacing older ones.
void write(const QString &folder);

// On a first run, before the upgrade: copies into the working directory the
// templates whose live tables are missing there. Returns the names copied.
QStringList provideMissing(const QString &programFolder);
} // namespace Templates
