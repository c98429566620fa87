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
// The library writes through a stdio stream of our own (TableStream) that
// keeps the header and the last blocks in memory: it rewrites the header with
// every record and reads back single bytes whenever it starts a block, which
// on a plain file costs a system call each. Finished blocks go to the file,
// so memory stays flat whatever the table's size.

#include "exportwriters.h"

#include "codepage.h"
#include "engineerror.h"

#include <QDate>
#include <QFile>

// The library's header declares its functions without C linkage.
extern "C" {
#include <paradox.h>
}

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

// The temporary file as the library's stream. The header and the blocks from
// m_tailStart on are in memory; earlier blocks are on disk, read and written
// there directly should the library ever go back to them. A position past
// what was written reads as end of file, and a write past it fills the gap
// with zero bytes, as a file would.
class TableStream
{
public:
    TableStream(const QString &path, qsizetype headerSize, qsizetype blockSize)
        : m_header(size_t(headerSize), 0)
        , m_tailStart(headerSize)
        , m_blockSize(blockSize)
    {
        m_fd = ::open(
            QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            m_error = errno;
    }
    ~TableStream()
    {
        if (m_stream)
            std::fclose(m_stream);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TableStream(const TableStream &) = delete;
    TableStream &operator=(const TableStream &) = delete;

    FILE *open()
    {
        if (m_fd < 0)
            return nullptr;
        const cookie_io_functions_t io{ readCookie, writeCookie, seekCookie, nullptr };
        m_stream = ::fopencookie(this, "w+", io);
        return m_stream;
    }
    // The system's error of the first failed read or write; 0 if none.
    int error() const { return m_error; }

    // Everything the library wrote, cut or filled to size bytes, synced and
    // closed. False with error() set on a failure.
    bool finish(qsizetype size)
    {
        if (std::fflush(m_stream) != 0 && m_error == 0)
            m_error = EIO;
        if (m_error)
            return false;
        const qsizetype header = std::min<qsizetype>(size, qsizetype(m_header.size()));
        if (!put(m_header.data(), header, 0))
            return false;
        if (size > m_tailStart) {
            m_tail.resize(size_t(size - m_tailStart), 0);
            if (!put(m_tail.data(), qsizetype(m_tail.size()), m_tailStart))
                return false;
        }
        if (::ftruncate(m_fd, size) != 0 || ::fsync(m_fd) != 0) {
            m_error = errno;
            return false;
        }
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            m_error = errno;
            return false;
        }
        return true;
    }

private:
    // Blocks kept in memory behind the one being filled: the library goes
    // back to the block before it to link the next one.
    static constexpr qsizetype KeptBlocks = 2;
    static constexpr qsizetype FlushBlocks = 32;

    static ssize_t readCookie(void *cookie, char *data, size_t size)
    {
        return static_cast<TableStream *>(cookie)->read(data, qsizetype(size));
    }
    static ssize_t writeCookie(void *cookie, const char *data, size_t size)
    {
        return static_cast<TableStream *>(cookie)->write(data, qsizetype(size));
    }
    static int seekCookie(void *cookie, off64_t *offset, int whence)
    {
        auto *s = static_cast<TableStream *>(cookie);
        const qsizetype base = whence == SEEK_CUR ? s->m_pos : whence == SEEK_END ? s->m_size : 0;
        if (base + *offset < 0)
            return -1;
        s->m_pos = base + *offset;
        *offset = s->m_pos;
        return 0;
    }

    ssize_t read(char *data, qsizetype size)
    {
        size = std::max<qsizetype>(0, std::min(size, m_size - m_pos));
        const ssize_t done = transfer(data, size, false);
        return done;
    }
    ssize_t write(const char *data, qsizetype size)
    {
        const ssize_t done = transfer(const_cast<char *>(data), size, true);
        m_size = std::max(m_size, m_pos);
        if (qsizetype(m_tail.size()) >= (KeptBlocks + FlushBlocks) * m_blockSize
            && !flushBlocks(FlushBlocks))
            return -1;
        return done;
    }

    // Copies between data and the file's bytes at m_pos, region by region.
    ssize_t transfer(char *data, qsizetype size, bool writing)
    {
        const qsizetype headerSize = qsizetype(m_header.size());
        qsizetype done = 0;
        while (done < size) {
            const qsizetype at = m_pos;
            qsizetype n = size - done;
            if (at < headerSize) {
                n = std::min(n, headerSize - at);
                char *mine = m_header.data() + at;
                writing ? std::memcpy(mine, data + done, size_t(n))
                        : std::memcpy(data + done, mine, size_t(n));
            } else if (at < m_tailStart) {
                n = std::min(n, m_tailStart - at);
                if (!(writing ? put(data + done, n, at) : get(data + done, n, at)))
                    return -1;
            } else {
                const qsizetype inTail = at - m_tailStart;
                if (writing && inTail + n > qsizetype(m_tail.size()))
                    m_tail.resize(size_t(inTail + n), 0);
                char *mine = m_tail.data() + inTail;
                writing ? std::memcpy(mine, data + done, size_t(n))
                        : std::memcpy(data + done, mine, size_t(n));
            }
            done += n;
            m_pos += n;
        }
        return ssize_t(done);
    }

    bool flushBlocks(qsizetype blocks)
    {
        const qsizetype bytes = blocks * m_blockSize;
        if (!put(m_tail.data(), bytes, m_tailStart))
            return false;
        m_tail.erase(m_tail.begin(), m_tail.begin() + bytes);
        m_tailStart += bytes;
        return true;
    }

    bool put(const char *data, qsizetype size, qsizetype at)
    {
        while (size > 0) {
            const ssize_t n = ::pwrite(m_fd, data, size_t(size), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_error = n < 0 ? errno : EIO;
                return false;
            }
            data += n;
            size -= n;
            at += n;
        }
        return true;
    }
    bool get(char *data, qsizetype size, qsizetype at)
    {
        while (size > 0) {
            const ssize_t n = ::pread(m_fd, data, size_t(size), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                m_error = errno;
                return false;
            }
            if (n == 0) { // never written: zero bytes, as in a file with a hole
                std::memset(data, 0, size_t(size));
                return true;
            }
            data += n;
            size -= n;
            at += n;
        }
        return true;
    }

    int m_fd = -1;
    FILE *m_stream = nullptr;
    std::vector<char> m_header;
    std::vector<char> m_tail;
    qsizetype m_tailStart;
    qsizetype m_blockSize;
    qsizetype m_pos = 0;
    qsizetype m_size = 0;
    int m_error = 0;
};

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
        // The document writes its header once more as it goes.
        m_document.reset();
        m_file.reset();
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
        m_file = std::make_unique<TableStream>(m_target.main, headerSize, blockSize);
        FILE *stream = m_file->open();
        if (!stream)
            throw EngineError(QStringLiteral("Cannot create %1: %2")
                                  .arg(m_target.shownMain,
                                      QString::fromLocal8Bit(std::strerror(m_file->error()))));
        m_document = std::make_unique<Document>(fields, stream, &m_errors);
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
        if (!m_file->finish(used))
            fail();
    }

private:
    [[noreturn]] void fail()
    {
        if (m_file && m_file->error())
            throw EngineError(writeFailure(m_target.shownMain, m_file->error()));
        throw EngineError(
            QStringLiteral("Cannot write the Paradox table %1%2")
                .arg(m_target.shownMain,
                    m_errors.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + m_errors));
    }

    Target m_target;
    QList<FieldDef> m_fields;
    QString m_errors;
    std::unique_ptr<TableStream> m_file;
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
