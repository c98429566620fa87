#include "closedhandles.h"

#include "engine.h"
#include "engineerror.h"
#include "table.h"

#include <exception>

ClosedHandles::ClosedHandles(const QString &fileName)
{
    const QList<Table *> open = Engine::instance().handlesOn(fileName);
    for (Table *table : open) {
        m_tables.append(table);
        table->close();
    }
}

ClosedHandles::~ClosedHandles()
{
    try {
        reopen();
    } catch (...) {
        // Each window reports its own table when it next uses it.
    }
}

void ClosedHandles::reopen()
{
    std::exception_ptr first;
    const QList<QPointer<Table>> tables = std::exchange(m_tables, {});
    for (const QPointer<Table> &table : tables) {
        if (!table)
            continue;
        try {
            table->open();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}
