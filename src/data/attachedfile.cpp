#include "attachedfile.h"

#include "engine.h"
#include "layouts.h"
#include "sqlerror.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

AttachedFile::AttachedFile(const QString &fileName, int cacheKiB, bool readOnly)
    : m_path(Engine::resolve(fileName))
    , m_alias(Engine::instance().attach(m_path, readOnly))
{
    if (cacheKiB <= 0)
        return;
    try {
        SQLite::Database &db = Engine::instance().db();
        SQLite::Statement size(db, pragma(QStringLiteral("cache_size")).toStdString());
        if (size.executeStep())
            m_cacheSize = size.getColumn(0).getInt();
        db.exec(pragma(QStringLiteral("cache_size=-%1").arg(cacheKiB)).toStdString());
    } catch (const SQLite::Exception &) {
        m_cacheSize.reset(); // the work goes ahead with the cache it has
    }
}

AttachedFile::~AttachedFile()
{
    try {
        if (m_cacheSize)
            Engine::instance().db().exec(
                pragma(QStringLiteral("cache_size=%1").arg(*m_cacheSize)).toStdString());
    } catch (const SQLite::Exception &) { }
    Engine::instance().detach(m_path);
}

QString AttachedFile::table() const
{
    return Engine::quote(m_alias) + QLatin1Char('.') + Engine::quote(DataTableName);
}

QString AttachedFile::pragma(const QString &setting) const
{
    return QStringLiteral("PRAGMA ") + Engine::quote(m_alias) + QLatin1Char('.') + setting;
}

std::string AttachedFile::durabilityPragmas() const
{
    return translatingErrors([&] {
        std::string pragmas;
        for (const char *setting : { "journal_mode", "synchronous" }) {
            SQLite::Statement read(
                Engine::instance().db(), pragma(QString::fromLatin1(setting)).toStdString());
            if (read.executeStep())
                pragmas
                    += std::string("PRAGMA ") + setting + "=" + read.getColumn(0).getString() + ";";
        }
        return pragmas;
    });
}
