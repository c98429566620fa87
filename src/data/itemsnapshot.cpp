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
#include <sqlite3.h>

#include <cmath>
#include <memory>

namespace {
QString columnText(sqlite3_stmt *row, int at)
{
    const char *text = reinterpret_cast<const char *>(sqlite3_column_text(row, at));
    return QString::fromUtf8(text, sqlite3_column_bytes(row, at));
}

// The stored text of a value, short enough for one line of a message.
QString storedText(sqlite3_stmt *row, int at)
{
    QString text = columnText(row, at).simplified();
    if (text.size() > 40)
        text = text.left(39) + QChar(0x2026);
    return text;
}

// A value as the file holds it: null, qlonglong, double, QString or QByteArray.
QVariant storedValue(sqlite3_stmt *row, int at)
{
    switch (sqlite3_column_type(row, at)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(row, at));
    case SQLITE_FLOAT:
        return sqlite3_column_double(row, at);
    case SQLITE_BLOB: {
        const char *bytes = static_cast<const char *>(sqlite3_column_blob(row, at));
        return QByteArray(bytes, sqlite3_column_bytes(row, at));
    }
    default:
        return columnText(row, at);
    }
}

// A value as its field's type reads it. A value that breaks the record rules
// (the file was changed by another program) reads as null and is described
// in problem; an over-long text is still shown.
QVariant valueOf(sqlite3_stmt *row, int at, const FieldDef &field, QString &problem)
{
    if (sqlite3_column_type(row, at) == SQLITE_NULL)
        return {};
    const QVariant stored = storedValue(row, at);
    if (field.type == FieldType::Text) {
        const QString text = stored.toString();
        if (field.size > 0 && TableSupport::characters(text) > field.size)
            problem
                = QStringLiteral("%1 is longer than %2 characters").arg(field.name).arg(field.size);
        return text;
    }
    if (!RecordRules::storedProblem(field, stored).isEmpty()) {
        problem = QStringLiteral("%1 '%2' is not valid").arg(field.name, storedText(row, at));
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

int digits(const char *text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Whether a stored value surely fits its field, told from SQLite's own
// value without making a QVariant (nor a column object): the common case of a
// sound file. When false the full rules decide.
bool surelySound(sqlite3_stmt *row, int at, const FieldDef &field)
{
    const int type = sqlite3_column_type(row, at);
    if (type == SQLITE_NULL)
        return true;
    switch (field.type) {
    case FieldType::Text:
        // Never more characters than bytes.
        return type == SQLITE_TEXT
            && (field.size <= 0 || sqlite3_column_bytes(row, at) <= field.size);
    case FieldType::Date: {
        if (type != SQLITE_TEXT || sqlite3_column_bytes(row, at) != 10)
            return false;
        const char *t = reinterpret_cast<const char *>(sqlite3_column_text(row, at));
        const int y = digits(t, 0, 4), m = digits(t, 5, 2), d = digits(t, 8, 2);
        return t[4] == '-' && t[7] == '-' && y >= 1 && m >= 0 && d >= 0 && QDate::isValid(y, m, d);
    }
    case FieldType::Money: {
        if (type == SQLITE_INTEGER) {
            const qint64 amount = sqlite3_column_int64(row, at);
            return amount >= -999'999'999'999 && amount <= 999'999'999'999;
        }
        if (type != SQLITE_FLOAT)
            return false;
        // Four decimals at most, by a margin narrower than the rules allow.
        const double amount = sqlite3_column_double(row, at);
        const double scaled = amount * 10000.0;
        return RecordRules::isSound(field, amount)
            && std::fabs(scaled - std::round(scaled)) <= 1e-7;
    }
    case FieldType::SmallInt: {
        if (type != SQLITE_INTEGER)
            return false;
        const qint64 number = sqlite3_column_int64(row, at);
        return number >= -32768 && number <= 32767;
    }
    default:
        return false;
    }
}

// The value of a column surelySound() passed, made straight from SQLite's.
QVariant soundValue(sqlite3_stmt *row, int at, const FieldDef &field)
{
    if (sqlite3_column_type(row, at) == SQLITE_NULL)
        return {};
    switch (field.type) {
    case FieldType::Text: {
        const char *text = reinterpret_cast<const char *>(sqlite3_column_text(row, at));
        return QString::fromUtf8(text, sqlite3_column_bytes(row, at));
    }
    case FieldType::Date: {
        const char *t = reinterpret_cast<const char *>(sqlite3_column_text(row, at));
        return QDate(digits(t, 0, 4), digits(t, 5, 2), digits(t, 8, 2));
    }
    case FieldType::Money:
        return sqlite3_column_double(row, at);
    case FieldType::SmallInt:
        return int(sqlite3_column_int64(row, at));
    default:
        return {};
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

qint64 ItemSnapshot::Cursor::key() const
{
    return sqlite3_column_int64(m_row, 0);
}

QVariant ItemSnapshot::Cursor::value(int i) const
{
    const FieldDef &field = (*m_defs)[i];
    if (surelySound(m_row, i + 1, field))
        return soundValue(m_row, i + 1, field);
    QString problem;
    return valueOf(m_row, i + 1, field, problem);
}

void ItemSnapshot::scan(const QString &fileName, const QStringList &fields,
    const std::function<void(const Cursor &)> &take)
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
    try {
        SQLite::Database db = wal
            ? SQLite::Database(
                QUrl::fromLocalFile(path).toEncoded().toStdString() + "?mode=ro&immutable=1",
                SQLite::OPEN_READONLY | SQLite::OPEN_URI | SQLite::OPEN_NOMUTEX)
            : SQLite::Database(path.toStdString(), SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX);
        // A writer's commit takes a moment; wait for it rather than fail.
        db.setBusyTimeout(5000);
        // The first read meets a journal left behind, before the layout is checked.
        SQLite::Statement(db, "SELECT count(*) FROM sqlite_master").executeStep();
        Engine::inspect(db, QStringLiteral("main"), path, layout);
        const QString due = Engine::quote(QStringLiteral("Due Date"));
        const std::string sql
            = QStringLiteral("SELECT %1 FROM %2 ORDER BY %3, %4, rowid")
                  .arg(columns.join(QStringLiteral(", ")), Engine::quote(DataTableName), due,
                      Engine::quote(QStringLiteral("Description")))
                  .toStdString();
        // SQLite's own statement: a column object per value read would cost
        // more than the check it is read for.
        sqlite3_stmt *prepared = nullptr;
        if (const int rc = sqlite3_prepare_v2(db.getHandle(), sql.c_str(), -1, &prepared, nullptr);
            rc != SQLITE_OK)
            throw SQLite::Exception(db.getHandle(), rc);
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> row(
            prepared, sqlite3_finalize);
        Cursor cursor;
        cursor.m_row = prepared;
        cursor.m_defs = &defs;
        for (;;) {
            const int rc = sqlite3_step(prepared);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                throw SQLite::Exception(db.getHandle(), rc);
            cursor.m_problems.clear();
            for (int i = 0; i < defs.size(); ++i) {
                if (surelySound(prepared, i + 1, defs[i]))
                    continue;
                QString problem;
                valueOf(prepared, i + 1, defs[i], problem);
                if (!problem.isEmpty())
                    cursor.m_problems.append(problem);
            }
            take(cursor);
        }
    } catch (const SQLite::Exception &e) {
        // A journal left by a writer that stopped must be played back before
        // the table can be read, and only a writer may do that.
        if (e.getExtendedErrorCode() == SQLITE_READONLY_ROLLBACK
            || e.getExtendedErrorCode() == SQLITE_READONLY_RECOVERY)
            throw beingWritten(name);
        throw engineError(e, name);
    }
}

QList<ItemSnapshot::Row> ItemSnapshot::read(const QString &fileName, const QStringList &fields)
{
    QList<Row> rows;
    scan(fileName, fields, [&rows, n = fields.size()](const Cursor &cursor) {
        Row row;
        row.key = cursor.key();
        for (int i = 0; i < n; ++i)
            row.values.append(cursor.value(i));
        row.problems = cursor.problems();
        rows.append(std::move(row));
    });
    return rows;
}
