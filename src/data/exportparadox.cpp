// Paradox 7 tables through pxlib. Types: dates D, texts A(n) in Windows-1252,
// amounts $ (currency), small integers S, the counter + (auto-increment)
// carrying the source's values, with the table's counter set to the largest
// so that new records continue after it. A blank is all zero bytes in every
// type, which is how Paradox marks an empty field.
//
// Texts are converted here and handed over as bytes with no encoding set:
// with its own conversion the library writes a whole field blank, without a
// word, when a character is missing from the code page or the text is long.
//
// The table is built in memory and written out in one piece: the library
// reads back single bytes whenever it starts a block, which on a file costs a
// system call each.

#include "exportwriters.h"

#include "codepage.h"
#include "engineerror.h"

#include <QDate>

// The library's header declares its functions without C linkage.
extern "C" {
#include <paradox.h>
}

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace TableExport {
namespace {
void *allocZeroed(pxdoc_t *, size_t size, const char *)
{
    // Zeroed: the library leaves some header fields unset, which would
    // otherwise carry whatever was in memory into the file.
    return std::calloc(1, size);
}

void *reallocMemory(pxdoc_t *, void *memory, size_t size, const char *)
{
    return std::realloc(memory, size);
}

void freeMemory(pxdoc_t *, void *memory)
{
    std::free(memory);
}

void collectError(pxdoc_t *, int level, const char *message, void *data)
{
    auto *errors = static_cast<QString *>(data);
    if (level != PX_Warning && errors->isEmpty())
        *errors = QString::fromLocal8Bit(message);
}

// A Paradox table in progress: the document, its field list and the stream
// it writes to.
class Document
{
public:
    Document(const QList<FieldDef> &fields, FILE *stream, QString *errors)
    {
        m_doc = PX_new3(collectError, allocZeroed, reallocMemory, freeMemory, errors);
        if (!m_doc)
            return;
        auto *list
            = static_cast<pxfield_t *>(std::calloc(size_t(fields.size()), sizeof(pxfield_t)));
        for (int f = 0; f < fields.size(); ++f) {
            pxfield_t &p = list[f];
            p.px_fname = ::strdup(fields[f].name.toLatin1().constData());
            switch (fields[f].type) {
            case FieldType::Date:
                p.px_ftype = pxfDate;
                p.px_flen = 4;
                break;
            case FieldType::Text:
                p.px_ftype = pxfAlpha;
                p.px_flen = std::clamp(fields[f].size, 1, 255);
                break;
            case FieldType::Money:
                p.px_ftype = pxfCurrency;
                p.px_flen = 8;
                break;
            case FieldType::SmallInt:
                p.px_ftype = pxfShort;
                p.px_flen = 2;
                break;
            case FieldType::Counter:
                p.px_ftype = pxfAutoInc;
                p.px_flen = 4;
                break;
            }
        }
        m_fields = list;
        m_count = int(fields.size());
        if (PX_create_fp(m_doc, list, m_count, stream, pxfFileTypNonIndexDB) < 0)
            return;
        m_head = m_doc->px_head;
    }
    ~Document()
    {
        // Once created, the document owns the field list and frees it.
        if (m_doc)
            PX_delete(m_doc); // closes it first, writing the block it holds
        if (!m_head) {
            for (int f = 0; f < m_count; ++f)
                std::free(m_fields[f].px_fname);
            std::free(m_fields);
        }
    }
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    pxdoc_t *doc() const { return m_doc; }
    pxhead_t *head() const { return m_head; }
    bool ok() const { return m_head != nullptr; }

private:
    pxdoc_t *m_doc = nullptr;
    pxhead_t *m_head = nullptr;
    pxfield_t *m_fields = nullptr;
    int m_count = 0;
};

class ParadoxWriter : public Writer
{
public:
    explicit ParadoxWriter(const Target &target)
        : m_target(target)
    { }
    ~ParadoxWriter() override
    {
        m_document.reset();
        if (m_stream)
            std::fclose(m_stream);
        std::free(m_buffer);
    }

    void begin(const QList<FieldDef> &fields, int records) override
    {
        m_fields = fields;
        // The header's size and the block size follow from the field list:
        // learn them from a table of no records first.
        qsizetype headerSize = 0;
        qsizetype blockSize = 0;
        int recordSize = 0;
        {
            std::vector<char> probe(1 << 16);
            FILE *stream = ::fmemopen(probe.data(), probe.size(), "w+");
            if (!stream)
                fail();
            {
                Document document(fields, stream, &m_errors);
                if (!document.ok()) {
                    std::fclose(stream);
                    fail();
                }
                headerSize = document.head()->px_headersize;
                blockSize = qsizetype(document.head()->px_maxtablesize) * 0x400;
                recordSize = document.head()->px_recordsize;
            }
            std::fclose(stream);
        }
        const int perBlock = int((blockSize - 6) / recordSize);
        const qsizetype blocks = (qsizetype(records) + perBlock - 1) / perBlock;
        // The header counts blocks in 16 bits.
        if (blocks > 65535)
            throw EngineError(QStringLiteral("A Paradox table holds at most %1 records of this "
                                             "kind; %2 were to be exported.")
                                  .arg(65535LL * perBlock)
                                  .arg(records));
        m_size = headerSize + (blocks + 1) * blockSize;
        m_buffer = static_cast<char *>(std::calloc(1, size_t(m_size)));
        if (!m_buffer)
            throw EngineError(
                QStringLiteral("Not enough memory to export %1 records.").arg(records));
        m_stream = ::fmemopen(m_buffer, size_t(m_size), "w+");
        if (!m_stream)
            fail();
        m_document = std::make_unique<Document>(fields, m_stream, &m_errors);
        if (!m_document->ok())
            fail();
        pxdoc_t *doc = m_document->doc();
        // The header keeps a table name of at most 260 bytes; the library
        // would store the whole path it was given.
        QByteArray name;
        Cp1252::encode(m_target.tableName, name);
        name.truncate(260);
        if (PX_set_parameter(doc, "tablename", name.constData()) < 0
            || PX_set_value(doc, "codepage", 1252) < 0)
            fail();
        m_record.resize(recordSize);
        // Field offsets in the record.
        int offset = 0;
        for (int f = 0; f < fields.size(); ++f) {
            m_offsets.push_back(offset);
            offset += PX_get_field(doc, f)->px_flen;
        }
    }

    void write(const std::vector<QVariant> &values) override
    {
        pxdoc_t *doc = m_document->doc();
        char *record = m_record.data();
        std::memset(record, 0, m_record.size());
        for (int f = 0; f < m_fields.size(); ++f) {
            const QVariant &value = values[f];
            if (value.isNull())
                continue;
            char *field = record + m_offsets[f];
            switch (m_fields[f].type) {
            case FieldType::Date:
                PX_put_data_long(doc, field, 4, paradoxDay(value.toDate()));
                break;
            case FieldType::Money:
                PX_put_data_double(doc, field, 8, value.toDouble());
                break;
            case FieldType::SmallInt: {
                const int v = value.toInt();
                // -32768 has the bit pattern of a blank: it cannot be stored.
                if (v == -32768)
                    ++blanked;
                else
                    PX_put_data_short(doc, field, 2, short(v));
                break;
            }
            case FieldType::Counter: {
                const qlonglong v = value.toLongLong();
                if (v <= INT_MIN || v > INT_MAX)
                    throw EngineError(QStringLiteral("The value %1 of the field '%2' is too "
                                                     "large for a Paradox table.")
                                          .arg(v)
                                          .arg(m_fields[f].name));
                PX_put_data_long(doc, field, 4, int(v));
                m_maxCounter = std::max(m_maxCounter, int(v));
                break;
            }
            case FieldType::Text: {
                m_text.clear();
                bool exact = Cp1252::encode(value.toString(), m_text);
                const int width = PX_get_field(doc, f)->px_flen;
                if (m_text.size() > width) {
                    m_text.truncate(width);
                    exact = false;
                }
                if (!exact)
                    ++changed;
                std::memcpy(field, m_text.constData(), size_t(m_text.size()));
                break;
            }
            }
        }
        if (PX_put_record(doc, record) < 0)
            fail();
    }

    void finish() override
    {
        pxdoc_t *doc = m_document->doc();
        pxhead_t *head = m_document->head();
        head->px_autoinc = m_maxCounter;
        // Setting the name writes the header again, now with the counter.
        QByteArray name;
        Cp1252::encode(m_target.tableName, name);
        name.truncate(260);
        if (PX_set_parameter(doc, "tablename", name.constData()) < 0)
            fail();
        const qsizetype used = qsizetype(head->px_headersize)
            + qsizetype(head->px_fileblocks) * head->px_maxtablesize * 0x400;
        m_document.reset();
        if (std::fflush(m_stream) != 0 || used > m_size)
            fail();
        OutFile file(m_target.main, m_target.shownMain);
        file.write(m_buffer, used);
        file.finish();
    }

private:
    [[noreturn]] void fail()
    {
        throw EngineError(
            QStringLiteral("Cannot write the Paradox table %1%2")
                .arg(m_target.shownMain,
                    m_errors.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + m_errors));
    }

    Target m_target;
    QList<FieldDef> m_fields;
    QString m_errors;
    char *m_buffer = nullptr;
    qsizetype m_size = 0;
    FILE *m_stream = nullptr;
    std::unique_ptr<Document> m_document;
    std::vector<char> m_record;
    std::vector<int> m_offsets;
    QByteArray m_text;
    int m_maxCounter = 0;
};
} // namespace

std::unique_ptr<Writer> paradoxWriter(const Target &target)
{
    return std::make_unique<ParadoxWriter>(target);
}
} // namespace TableExport
