#pragma once

#include "engineerror.h"

#include <QString>

#include <SQLiteCpp/Exception.h>

// An SQLite failure as the engine reports it: in plain words, the table files
// named where SQLite names their aliases, "Key violation." for a duplicate key,
// and the file's name in front when one is given. Defined with the engine,
// whose attached files it names.
EngineError engineError(const SQLite::Exception &error, const QString &file = {});

// Runs work; an SQLite failure inside it leaves as engineError().
template <typename Work> decltype(auto) translatingErrors(Work &&work)
{
    try {
        return work();
    } catch (const SQLite::Exception &error) {
        throw engineError(error);
    }
}
