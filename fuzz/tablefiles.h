#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Real table files for the targets that read them: the five live tables as
// the program creates them, with a few records, made in the working
// directory through the engine.
namespace FuzzTables {
struct File
{
    QString name; // as the program names the live table
    QByteArray bytes;
};
// Creates the five tables once (with records) and returns their bytes.
const QList<File> &live();
// Seeds for a corpus: each live table as made, and again with small pages,
// which the mutations reach through more easily. prefix goes before each.
void writeSeeds(const QString &dir, const QList<QString> &tables, bool withPrefix);
} // namespace FuzzTables
