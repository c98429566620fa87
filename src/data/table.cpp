#include "table.h"
#include "tablesupport.h"

#include "engine.h"
#include "engineerror.h"
#include "filter.h"
#include "recordrules.h"
#include "sqlerror.h"

#include <QDate>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace TableSupport;

Table::Table(const QString &fileName, QObject *parent)
    : QObject(parent)
    , m_fileName(fileName)
{ }

Table::~Table()
{
    if (isOpen()) {
        finalizeStatements();
        Engine::instance().unregisterHandle(this, m_path);
        Engine::instance().detach(m_path);
    }
}

void Table::setFileName(const QString &fileName)
{
    if (isOpen())
        throw EngineError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_fileName = fileName;
}

void Table::setIndexName(const QString &indexName)
{
    QStringList columns;
    if (isOpen()) {
        checkBrowseMode();
        columns = indexName.isEmpty() ? primaryColumns() : indexColumns(indexName);
    }
    m_indexName = indexName;
    m_orderFields.clear();
    if (isOpen()) {
        m_orderFields = columns;
        refresh();
    }
}

void Table::setIndexFieldNames(const QString &fields)
{
    if (isOpen())
        checkBrowseMode();
    m_indexName.clear();
    m_orderFields = fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString &f : m_orderFields)
        f = f.trimmed();
    if (isOpen()) {
        for (const QString &f : std::as_const(m_orderFields))
            fieldIndexOrThrow(f);
        refresh();
    }
}

void Table::setExclusive(bool exclusive)
{
    if (isOpen())
        throw EngineError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_exclusive = exclusive;
}

void Table::setFilter(const QString &filter)
{
    if (isOpen() && m_filtered) {
        checkBrowseMode();
        // A filter that does not compile leaves the previous one in place.
        if (!filter.trimmed().isEmpty())
            compileFilter(filter, m_fields);
        m_filter = filter;
        refresh();
        return;
    }
    m_filter = filter;
}

void Table::setFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    if (isOpen()) {
        checkBrowseMode();
        if (filtered && !m_filter.trimmed().isEmpty())
            compileFilter(m_filter, m_fields);
        m_filtered = filtered;
        refresh();
        return;
    }
    m_filtered = filtered;
}

void Table::open()
{
    if (isOpen())
        return;
    Engine &engine = Engine::instance();
    const QString path = Engine::resolve(m_fileName);
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(name));
    engine.registerHandle(this, path, m_exclusive);
    try {
        m_alias = engine.attach(path);
    } catch (...) {
        engine.unregisterHandle(this, path);
        throw;
    }
    m_path = path;
    try {
        m_fields = engine.fieldsOf(m_alias);
        for (FieldDef &f : m_fields)
            f = RecordRules::withLayoutRules(f, Layouts::forFile(path));
        if (m_fields.isEmpty())
            throw EngineError(
                QStringLiteral("%1: not a Duesmith table (it holds no table of records).")
                    .arg(name));
        m_fieldByName.clear();
        m_counterField = -1;
        for (int i = 0; i < m_fields.size(); ++i) {
            // Names as declared are found without folding their case first:
            // the lists look fields up for every cell they draw.
            m_fieldByName.insert(m_fields[i].name.toLower(), i);
            m_fieldByName.insert(m_fields[i].name, i);
            if (m_fields[i].type == FieldType::Counter)
                m_counterField = i;
        }
        if (m_orderFields.isEmpty())
            m_orderFields = m_indexName.isEmpty() ? primaryColumns() : indexColumns(m_indexName);
        m_state = State::Browse;
        m_cache.clear();
        loadKeys();
    } catch (...) {
        m_state = State::Inactive;
        finalizeStatements();
        m_fields.clear();
        engine.unregisterHandle(this, path);
        engine.detach(path);
        m_path.clear();
        throw;
    }
    m_insertRow = -1;
    m_modified = false;
    connect(&engine, &Engine::rolledBack, this, &Table::reloadAfterRollback);
    setCurrent(m_keys.empty() ? -1 : 0, m_keys.empty(), true);
    notifyReset();
    Q_EMIT stateChanged();
}

void Table::close()
{
    if (!isOpen())
        return;
    finalizeStatements();
    m_keysHint = m_keys.size();
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_cache.clear();
    m_buffer.clear();
    m_insertRow = -1;
    m_cur = -1;
    m_eof = m_bof = true;
    m_state = State::Inactive;
    if (!m_indexName.isEmpty())
        m_orderFields.clear();
    disconnect(&Engine::instance(), &Engine::rolledBack, this, &Table::reloadAfterRollback);
    Engine::instance().unregisterHandle(this, m_path);
    Engine::instance().detach(m_path);
    m_path.clear();
    notifyReset();
    Q_EMIT stateChanged();
}

void Table::requireOpen() const
{
    if (!isOpen())
        throw EngineError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Table::requireWritable() const
{
    requireOpen();
    if (m_readOnly)
        throw EngineError(QStringLiteral("Cannot modify a read-only dataset"));
}

void Table::refresh()
{
    requireOpen();
    const qint64 key = m_state == State::Insert ? -1 : currentKey();
    const int oldRow = m_cur;
    m_cache.clear();
    loadKeys();
    if (m_state == State::Insert) {
        m_insertRow = std::min<int>(m_insertRow, int(m_keys.size()));
        m_cur = m_insertRow;
    } else {
        auto it = key >= 0 ? std::find(m_keys.begin(), m_keys.end(), key) : m_keys.end();
        if (it != m_keys.end())
            m_cur = int(it - m_keys.begin());
        else
            m_cur = m_keys.empty() ? -1 : std::clamp(oldRow, 0, int(m_keys.size()) - 1);
        m_eof = m_keys.empty();
        m_bof = m_keys.empty();
        if (m_state == State::Browse)
            bufferCurrent();
    }
    notifyReset();
    if (!controlsDisabled())
        Q_EMIT currentChanged();
}

void Table::reloadAfterRollback()
{
    if (!isOpen())
        return;
    if (isEditing()) {
        m_insertRow = -1;
        m_modified = false;
        m_state = State::Browse;
        Q_EMIT stateChanged();
    }
    refresh();
}

int Table::fieldIndex(const QString &name) const
{
    const auto exact = m_fieldByName.constFind(name);
    return exact != m_fieldByName.cend() ? *exact : m_fieldByName.value(name.toLower(), -1);
}

int Table::fieldIndexOrThrow(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw EngineError(QStringLiteral("Field '%1' not found").arg(name));
    return i;
}

qint64 Table::currentKey() const
{
    if (!isOpen() || m_cur < 0 || m_state == State::Insert)
        return -1;
    if (m_cur >= int(m_keys.size()))
        return -1;
    return m_keys[m_cur];
}

void Table::bufferCurrent()
{
    const qint64 key = currentKey();
    if (key < 0) {
        m_buffer.assign(m_fields.size(), QVariant());
        return;
    }
    m_buffer = fetchAt(m_cur).values;
}

void Table::setCurrent(int row, bool eof, bool bof)
{
    const bool changed = row != m_cur;
    m_cur = row;
    m_eof = eof || m_keys.empty();
    m_bof = bof || m_keys.empty();
    if (m_state == State::Browse)
        bufferCurrent();
    if (changed && !controlsDisabled())
        Q_EMIT currentChanged();
}

int Table::recNo() const
{
    if (!isOpen() || m_cur < 0)
        return 0;
    return m_cur + 1;
}

void Table::first()
{
    requireOpen();
    checkBrowseMode();
    setCurrent(m_keys.empty() ? -1 : 0, false, true);
}

void Table::last()
{
    requireOpen();
    checkBrowseMode();
    setCurrent(int(m_keys.size()) - 1, true, false);
}

void Table::next()
{
    moveBy(1);
}

void Table::prior()
{
    moveBy(-1);
}

void Table::moveBy(int distance)
{
    requireOpen();
    checkBrowseMode();
    if (m_keys.empty()) {
        setCurrent(-1, true, true);
        return;
    }
    const int target = m_cur + distance;
    if (target >= int(m_keys.size()))
        setCurrent(int(m_keys.size()) - 1, true, false);
    else if (target < 0)
        setCurrent(0, false, true);
    else
        setCurrent(target, false, false);
}

void Table::goToRow(int row)
{
    requireOpen();
    if (row == m_cur)
        return;
    checkBrowseMode();
    if (m_keys.empty())
        return;
    setCurrent(std::clamp(row, 0, int(m_keys.size()) - 1));
}

bool Table::locate(qint64 key)
{
    requireOpen();
    checkBrowseMode();
    const int n = int(m_keys.size());
    // A cursor move asks for the key of a row it has just read, or one near
    // the current record: look there before walking outwards from it.
    int found = -1;
    if (m_keyRowHint >= 0 && m_keyRowHint < n && m_keys[m_keyRowHint] == key)
        found = m_keyRowHint;
    const int from = std::clamp(m_cur, 0, std::max(n - 1, 0));
    for (int d = 0; found < 0 && (from - d >= 0 || from + d < n); ++d) {
        if (from + d < n && m_keys[from + d] == key)
            found = from + d;
        else if (from - d >= 0 && m_keys[from - d] == key)
            found = from - d;
    }
    if (found < 0)
        return false;
    setCurrent(found);
    return true;
}

QVariant Table::value(int field) const
{
    requireOpen();
    if (field < 0 || field >= m_fields.size())
        throw EngineError(QStringLiteral("Field index out of range"));
    if (m_buffer.size() != size_t(m_fields.size()))
        return {};
    return m_buffer[field];
}

QVariant Table::rowValue(int row, int field) const
{
    if (!isOpen() || field < 0 || field >= m_fields.size())
        return {};
    if (m_insertRow >= 0) {
        if (row == m_insertRow)
            return m_buffer[field];
        if (row > m_insertRow)
            --row;
    } else if (row == m_cur && m_state == State::Edit) {
        return m_buffer[field];
    }
    if (row < 0 || row >= int(m_keys.size()))
        return {};
    return fetchAt(row).values[field];
}

qint64 Table::keyAtRow(int row) const
{
    if (m_insertRow >= 0) {
        if (row == m_insertRow)
            return -1;
        if (row > m_insertRow)
            --row;
    }
    if (row < 0 || row >= int(m_keys.size()))
        return -1;
    m_keyRowHint = row;
    return m_keys[row];
}

int Table::rowCount() const
{
    return int(m_keys.size()) + (m_insertRow >= 0 ? 1 : 0);
}

QString Table::displayLabel(const QString &name) const
{
    auto it = m_labels.constFind(name.toLower());
    if (it != m_labels.constEnd())
        return *it;
    const int i = fieldIndex(name);
    return i >= 0 ? m_fields[i].name : name;
}

void Table::setDisplayLabel(const QString &name, const QString &label)
{
    m_labels.insert(name.toLower(), label);
}

void Table::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void Table::disableControls()
{
    ++m_controlsDisabled;
}

void Table::enableControls()
{
    if (m_controlsDisabled > 0 && --m_controlsDisabled == 0) {
        notifyReset();
        Q_EMIT currentChanged();
    }
}

void Table::notifyReset()
{
    if (!controlsDisabled())
        Q_EMIT rowsReset();
}
