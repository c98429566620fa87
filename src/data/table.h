#pragma once

#include "layouts.h"
#include "money.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

struct sqlite3_stmt;

// A handle on one table file: an ordered, optionally filtered view of its
// records with a current record and a row buffer for editing. Only the keys
// of the view are held in memory; rows are fetched on demand.
class Table : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Table(const QString &fileName = {}, QObject *parent = nullptr);
    ~Table() override;

    void setFileName(const QString &fileName);
    QString fileName() const { return m_fileName; }
    // The resolved file, once open.
    QString path() const { return m_path; }

    // Order by a named index ("Due Date Index"); empty for the primary order.
    void setIndexName(const QString &indexName);
    QString indexName() const { return m_indexName; }
    // Order by key fields separated by semicolons ("Due Date;Description").
    void setIndexFieldNames(const QString &fields);
    QStringList orderFields() const { return m_orderFields; }

    // Text order fields in the user's language order rather than the files'.
    void setLocaleOrder(bool locale) { m_localeOrder = locale; }

    void setExclusive(bool exclusive);
    bool exclusive() const { return m_exclusive; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool readOnly() const { return m_readOnly; }

    void setFilter(const QString &filter);
    QString filter() const { return m_filter; }
    void setFiltered(bool filtered);
    bool filtered() const { return m_filtered; }

    void open();
    void close();
    bool isOpen() const { return m_state != State::Inactive; }

    // Navigation; moving off an edited record posts it first.
    int recordCount() const { return int(m_keys.size()); }
    bool isEmpty() const { return m_keys.empty(); }
    int recNo() const; // 1-based; 0 when there is no current record
    void first();
    void last();
    void next();
    void prior();
    void moveBy(int distance);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    // Makes the record with this key current; false when it is not in the view.
    // The key is looked for near the current record and the last row asked for first.
    bool locate(qint64 key);
    qint64 currentKey() const;

    // Fields of the file, in its physical order.
    const QList<FieldDef> &fields() const { return m_fields; }
    int fieldIndex(const QString &name) const; // -1 when missing
    int fieldIndexOrThrow(const QString &name) const;
    QVariant value(const QString &name) const { return value(fieldIndexOrThrow(name)); }
    QVariant value(int field) const;
    bool isNull(const QString &name) const { return value(name).isNull(); }
    // Writes into the row buffer; the table must be in edit or insert state.
    void setValue(const QString &name, const QVariant &value);
    void setValue(int field, const QVariant &value);
    // Converts a value to a field's stored form, or throws with the engine's text.
    QVariant converted(int field, const QVariant &value) const;

    QString displayLabel(const QString &name) const;
    void setDisplayLabel(const QString &name, const QString &label);

    State state() const { return m_state; }
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }
    bool isModified() const { return m_modified; }
    // The values a new record starts with are not the user's: a record left with
    // only those is discarded when the user leaves it.
    void markUnmodified() { m_modified = false; }
    void append();
    void insert();
    void edit();
    void post();
    void cancel();
    void remove();
    void emptyTable();
    // Posts a pending edit.
    void checkBrowseMode();

    // The view as rows for a model: the records plus a new record being inserted.
    int rowCount() const;
    int currentRow() const { return m_cur; }
    int insertRow() const { return m_insertRow; }
    // The key of the record shown on a row; -1 for the new record or no record.
    qint64 keyAtRow(int row) const;
    QVariant rowValue(int row, int field) const;
    // Moves to a row (posting a pending edit first).
    void goToRow(int row);

    // Reads some fields of every record of the view, in view order, with one
    // statement: a pass over a whole view costs far less than reading it row by
    // row. `visit` gets the row and the values in the order of `fields`;
    // returning false stops the pass.
    void scan(const std::vector<int> &fields,
        const std::function<bool(int row, const std::vector<QVariant> &values)> &visit) const;

    // Totals of some fields over the records of the view, taken by the pass
    // that reads its keys: a window showing the totals of its rows reads them
    // once. Each field's sum counts its values as ds_sum4() does (empty when
    // none counts), and its count the values that are not empty. They hold
    // for the view as last read (open, refresh, re-read after a rollback):
    // posts and deletes since do not move them.
    struct FieldTotal
    {
        std::optional<Money> sum;
        qint64 count = 0;
    };
    void setTotalledFields(const QStringList &fields) { m_totalled = fields; }
    const std::vector<FieldTotal> &fieldTotals() const { return m_totals; }

    // Re-reads the key list, keeping the current record where possible.
    void refresh();
    // After a rolled-back transaction (the engine's rolledBack()) the view is
    // re-read from the file.
    void reloadAfterRollback();

    // The record the last post or delete changed, as stored before and after it
    // (in field order; empty when there was none: an insert has no before, a
    // delete no after). Lets listeners update what they derive from the file.
    const std::vector<QVariant> &changedBefore() const { return m_changedBefore; }
    const std::vector<QVariant> &changedAfter() const { return m_changedAfter; }

    // The model stops hearing about changes while controls are disabled.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_controlsDisabled > 0; }

Q_SIGNALS:
    void beforeInsert();
    void afterInsert();
    // Before a post, ahead of the required-field check.
    void updateData();
    void beforePost();
    void afterPost();
    void afterDelete();
    void postError(const QString &message);
    void stateChanged();
    void currentChanged();
    void rowsReset();
    // A record shown at `row` changed: only `field` of it, or any of its
    // fields when `field` is -1.
    void rowChanged(int row, int field = -1);

private:
    struct Row
    {
        std::vector<QVariant> values;
    };
    struct StatementDeleter
    {
        void operator()(sqlite3_stmt *stmt) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;
    Statement prepare(const QString &sql) const;
    void finalizeStatements();
    // The record as stored now; false when the file no longer holds it.
    bool readStored(qint64 key, std::vector<QVariant> &values) const;
    void requireOpen() const;
    void requireWritable() const;
    void loadKeys();
    QString orderClause() const;
    QStringList indexColumns(const QString &indexName) const;
    QStringList primaryColumns() const;
    const Row &fetch(qint64 key) const;
    const Row &fetchAt(int pos) const;
    Row readRow(sqlite3_stmt *stmt, int first) const;
    QString columnList() const;
    void bufferCurrent();
    void setCurrent(int row, bool eof = false, bool bof = false);
    void placeKey(qint64 key, bool wasInView, int oldPos);
    // The steps of a post: write the buffer as a new record or over the
    // stored one (keeping the stored record in before), then find its row.
    QString qualifiedTable() const;
    qint64 insertBuffer();
    qint64 updateFromBuffer(std::vector<QVariant> &before);
    void writeChanged(qint64 key, quint64 changedFields);
    void placePosted(qint64 key, bool inserted, int oldPos);
    int compareRecords(
        const std::vector<QVariant> &a, qint64 ka, const std::vector<QVariant> &b, qint64 kb) const;
    bool matchesFilter(qint64 key) const;
    void setState(State state);
    void beginInsert(int row);
    void notifyReset();

    QString m_fileName;
    QString m_path;
    QString m_alias;
    QString m_indexName;
    QStringList m_orderFields;
    std::vector<int> m_orderIdx;
    bool m_exclusive = false;
    bool m_localeOrder = false;
    bool m_readOnly = false;
    QString m_filter;
    bool m_filtered = false;
    QString m_where;
    QList<QVariant> m_whereParams;

    QList<FieldDef> m_fields;
    QHash<QString, int> m_fieldByName; // declared and lower-case name -> index
    QHash<QString, QString> m_labels;
    int m_counterField = -1;

    std::vector<qint64> m_keys;
    QStringList m_totalled;
    std::vector<FieldTotal> m_totals;
    mutable QHash<qint64, Row> m_cache;
    // Statements kept prepared while the table is open.
    mutable Statement m_fetch;
    mutable Statement m_fetchBlock;
    Statement m_insert;
    Statement m_delete;
    mutable Statement m_filterCheck;
    std::unordered_map<quint64, Statement> m_updates; // by the set of fields written
    std::size_t m_keysHint = 0;
    mutable int m_keyRowHint = -1;
    std::vector<QVariant> m_changedBefore;
    std::vector<QVariant> m_changedAfter;

    State m_state = State::Inactive;
    int m_cur = -1;
    bool m_eof = true;
    bool m_bof = true;
    int m_insertRow = -1;
    std::vector<QVariant> m_buffer;
    std::vector<QVariant> m_original; // the record as it was when the edit began
    bool m_modified = false;
    int m_controlsDisabled = 0;
};
