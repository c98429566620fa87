#include "itemsnapshot.h"

#include "engine.h"
#include "engineerror.h"
#include "layouts.h"
#include "recordrules.h"
#include "sqlerror.h"
#include "tablesupport.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <cmath>

namespace {
// The stored text of a value, short enough for one line of a message.
QString storedText(const SQLite::Column &column)
{
    QString text = QString::fromStdString(column.getString()).simplified();
    if (text.size() > 40)
        text = text.left(39) + QChar(0x2026);
    return text;
}

// A value as the file holds it: null, qlonglong, double, QString or QByteArray.
QVariant storedValue(const SQLite::Column &column)
{
    if (column.isInteger())
        return qlonglong(column.getInt64());
    if (column.isFloat())
        return column.getDouble();
    if (column.isBlob())
        return QByteArray(static_cast<const char *>(column.getBlob()), column.getBytes());
    return QString::fromStdString(column.getString());
}

// A value as its field's type reads it. A value that breaks the record rules
// (the file was changed by another program) reads as null and is described
// in problem; an over-long text is still shown.
QVariant valueOf(const SQLite::Column &column, const FieldDef &field, QString &problem)
{
    if (column.isNull())
        return {};
    const QVariant stored = storedValue(column);
    if (field.type == FieldType::Text) {
        const QString text = stored.toString();
        if (field.size > 0 && TableSupport::characters(text) > field.size)
            problem
                = QStringLiteral("%1 is longer than %2 characters").arg(field.name).arg(field.size);
        return text;
    }
    if (!RecordRules::storedProblem(field, stored).isEmpty()) {
        problem = QStringLiteral("%1 '%2' is not valid").arg(field.name, storedText(column));
        return {};
    }
    switch (field.type) {
    case FieldType::Date:
        return QDate::fromString(stored.toString(), Qt::ISODate);
    case FieldType::Money:
        return stored.toDouble();
    case FieldType::SmallInt:
        return stored.toInt();
    default:
        return stored;
    }
}

// Bytes 18 and 19 of the header are 2 in a file in write-ahead-log mode.
bool inWalMode(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(20);
    return header.size() == 20 && (header[18] == 2 || header[19] == 2);
}

bool nonEmptyFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

EngineError beingWritten(const QString &name)
{
    return EngineError(QStringLiteral("%1 is being written by another program, or a write to it "
                                      "was cut off; open the folder in Duesmith to finish it")
                           .arg(name));
}
} // namespace

QList<ItemSnapshot::Row> ItemSnapshot::read(const QString &fileName, const QStringList &fields)
{
    const QString path = Engine::resolve(fileName);
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo(path).isFile())
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(name));
    const Layout &layout = Layouts::item();
    QList<FieldDef> defs;
    QStringList columns = { Engine::quote(QStringLiteral("PrimaryKey")) };
    for (const QString &f : fields) {
        const FieldDef *def = layout.field(f);
        if (!def)
            throw EngineError(QStringLiteral("Field '%1' not found").arg(f));
        defs.append(*def);
        columns.append(Engine::quote(def->name));
    }
    // A write-ahead log would need files beside the table even to be read.
    // Without a log in use the file is read as it is, with nothing written;
    // with one, some other program is writing it.
    const bool wal = inWalMode(path);
    if (wal && nonEmptyFile(path + QStringLiteral("-wal")))
        throw beingWritten(name);
    QList<Row> rows;
    try {
        SQLite::Database db = wal
            ? SQLite::Database(
                QUrl::fromLocalFile(path).toEncoded().toStdString() + "?mode=ro&immutable=1",
                SQLite::OPEN_READONLY | SQLite::OPEN_URI)
            : SQLite::Database(path.toStdString(), SQLite::OPEN_READONLY);
        // A writer's commit takes a moment; wait for it rather than fail.
        db.setBusyTimeout(5000);
        // The first read meets a journal left behind, before the layout is checked.
        SQLite::Statement(db, "SELECT count(*) FROM sqlite_master").executeStep();
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
            for (int i = 0; i < defs.size(); ++i) {
                QString problem;
                row.values.append(valueOf(select.getColumn(i + 1), defs[i], problem));
                if (!problem.isEmpty())
                    row.problems.append(problem);
            }
            rows.append(std::move(row));
        }
    } catch (const SQLite::Exception &e) {
        // A journal left by a writer that stopped must be played back before
        // the table can be read, and only a writer may do that.
        if (e.getExtendedErrorCode() == SQLITE_READONLY_ROLLBACK
            || e.getExtendedErrorCode() == SQLITE_READONLY_RECOVERY)
            throw beingWritten(name);
        throw engineError(e, name);
    }
    return rows;
}
