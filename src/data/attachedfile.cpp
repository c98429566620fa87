#include "attachedfile.h"

#include "engine.h"
#include "layouts.h"

AttachedFile::AttachedFile(const QString &fileName)
    : m_path(Engine::resolve(fileName))
    , m_alias(Engine::instance().attach(m_path))
{ }

AttachedFile::~AttachedFile()
{
    Engine::instance().detach(m_path);
}

QString AttachedFile::table() const
{
    return Engine::quote(m_alias) + QLatin1Char('.') + Engine::quote(DataTableName);
}
