#include "itemsnapshot.h"

#include "engine.h"
#include "engineerror.h"
#include "layouts.h"
#include "sqlerror.h"

#include <QDate>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

namespace {
QVariant valueOf(const SQLite::Column &column, FieldType type)
{
    if (column.isNull())
        return {};
    switch (type) {
    case FieldType::Date: {
        const QDate d = QDate::fromString(QString::fromStdString(column.getString()), Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case FieldType::Money:
        return column.getDouble();
    case FieldType::SmallInt:
        return int(column.getInt64());
    case FieldType::Counter:
        return qlonglong(column.getInt64());
    case FieldType::Text:
        break;
    }
    return QString::fromStdString(column.getString());
}
} // namespace

QList<ItemSnapshot::Row> ItemSnapshot::read(const QString &fileName, const QStringList &fields)
{
    const QString path = Engine::resolve(fileName);
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo(path).isFile())
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(name));
    const Layout &layout = Layouts::item();
    QList<FieldType> types;
    QStringList columns = { Engine::quote(QStringLiteral("PrimaryKey")) };
    for (const QString &f : fields) {
        const FieldDef *def = layout.field(f);
        if (!def)
            throw EngineError(QStringLiteral("Field '%1' not found").arg(f));
        types.append(def->type);
        columns.append(Engine::quote(def->name));
    }
    QList<Row> rows;
    try {
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
        // A writer's commit takes a moment; wait for it rather than fail.
        db.setBusyTimeout(5000);
        Engine::inspect(db, QStringLiteral("main"), path, layout);
        const QString due = Engine::quote(QStringLiteral("Due Date"));
        SQLite::Statement select(db,
            QStringLiteral("SELECT %1 FROM %2 ORDER BY %3, %4, rowid")
                .arg(columns.join(QStringLiteral(", ")), Engine::quote(DataTableName), due,
                    Engine::quote(QStringLiteral("Description")))
                .toStdString());
        while (select.executeStep()) {
            Row row;
            row.key = select.getColumn(0).getInt64();
            for (int i = 0; i < types.size(); ++i)
                row.values.append(valueOf(select.getColumn(i + 1), types[i]));
            rows.append(std::move(row));
        }
    } catch (const SQLite::Exception &e) {
        throw engineError(e, name);
    }
    return rows;
}
