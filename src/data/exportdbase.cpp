// dBASE III tables through shapelib. The library writes the header, the
// field descriptors, the records and the end mark; every field value is
// formatted here, because its own writers read dates and numbers in ways that
// lose them (a date string stored as "0", decimals after the C locale), and it
// cuts field names and over-wide values without saying so.
//
// Types: dates D(8) as YYYYMMDD, amounts N(19,4), small integers N(6,0), the
// counter N(11,0), texts C(n) up to 255 characters (shapelib and common
// readers accept 255; a strict dBASE III reader stops at 254). A blank is
// spaces over the field's width in every type. Texts are in Windows-1252: the
// language-driver byte says so, and so does the .CPG beside the table.

#include "exportwriters.h"

#include "codepage.h"
#include "engineerror.h"
#include "tableexport.h"

#include <QDate>
#include <QFile>

#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace TableExport {
namespace {
// The library's file access, with the first failure kept: its own hooks let a
// failed flush or close (a full disk) pass unnoticed.
struct HookState
{
    int error = 0;
    QString message;
};
thread_local HookState *hookState = nullptr;

// Writes are gathered while they follow one another (the library seeks to
// each record before writing it) and go out in large pieces; stdio would
// discard its buffer and read a whole buffer back on every seek.
struct HookFile
{
    int fd = -1;
    off_t position = 0;
    off_t bufferStart = 0;
    std::vector<char> buffer;
};

void noteError(int error)
{
    if (hookState && hookState->error == 0)
        hookState->error = error ? error : EIO;
}

bool flushFile(HookFile *f)
{
    const char *p = f->buffer.data();
    size_t left = f->buffer.size();
    off_t at = f->bufferStart;
    while (left > 0) {
        const ssize_t n = ::pwrite(f->fd, p, left, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            noteError(errno);
            return false;
        }
        p += n;
        left -= size_t(n);
        at += n;
    }
    f->buffer.clear();
    return true;
}

SAFile hookOpen(const char *filename, const char *access)
{
    // The library creates the file ("wb"), then opens it again to fill it
    // ("rb+"). The temporary file it creates is reserved for it already.
    const bool create = access[0] == 'w';
    const bool update = std::strchr(access, '+') != nullptr;
    const int flags = create ? O_RDWR | O_CREAT | O_TRUNC : update ? O_RDWR : O_RDONLY;
    const int fd = ::open(filename, flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        noteError(errno);
        return nullptr;
    }
    auto *file = new HookFile;
    file->fd = fd;
    file->buffer.reserve(1 << 20);
    return reinterpret_cast<SAFile>(file);
}

HookFile *fileOf(SAFile file)
{
    return reinterpret_cast<HookFile *>(file);
}

SAOffset hookRead(void *p, SAOffset size, SAOffset count, SAFile file)
{
    HookFile *f = fileOf(file);
    if (size == 0 || !flushFile(f))
        return 0;
    const ssize_t n = ::pread(f->fd, p, size * count, f->position);
    if (n < 0) {
        noteError(errno);
        return 0;
    }
    f->position += n;
    return SAOffset(n) / size;
}

SAOffset hookWrite(void *p, SAOffset size, SAOffset count, SAFile file)
{
    HookFile *f = fileOf(file);
    const size_t bytes = size * count;
    if (f->position != f->bufferStart + off_t(f->buffer.size())) {
        if (!flushFile(f))
            return 0;
        f->bufferStart = f->position;
    }
    const char *data = static_cast<const char *>(p);
    f->buffer.insert(f->buffer.end(), data, data + bytes);
    f->position += off_t(bytes);
    if (f->buffer.size() >= (1 << 20) && !flushFile(f))
        return 0;
    if (f->buffer.empty())
        f->bufferStart = f->position;
    return count;
}

SAOffset hookSeek(SAFile file, SAOffset offset, int whence)
{
    HookFile *f = fileOf(file);
    off_t base = 0;
    if (whence == SEEK_CUR) {
        base = f->position;
    } else if (whence == SEEK_END) {
        struct stat info
        {
        };
        if (::fstat(f->fd, &info) != 0) {
            noteError(errno);
            return SAOffset(-1);
        }
        base = std::max(off_t(info.st_size), f->bufferStart + off_t(f->buffer.size()));
    }
    f->position = base + off_t(offset);
    return 0;
}

SAOffset hookTell(SAFile file)
{
    return SAOffset(fileOf(file)->position);
}

int hookFlush(SAFile file)
{
    return flushFile(fileOf(file)) ? 0 : -1;
}

int hookClose(SAFile file)
{
    HookFile *f = fileOf(file);
    int rc = flushFile(f) ? 0 : -1;
    if (rc == 0 && ::fsync(f->fd) != 0) {
        noteError(errno);
        rc = -1;
    }
    if (::close(f->fd) != 0 && rc == 0) {
        noteError(errno);
        rc = -1;
    }
    delete f;
    return rc;
}

int hookRemove(const char *filename)
{
    return ::unlink(filename);
}

void hookError(const char *message)
{
    if (hookState && hookState->message.isEmpty())
        hookState->message = QString::fromLocal8Bit(message);
}

double hookAtof(const char *text)
{
    return QByteArray(text).trimmed().toDouble();
}

SAHooks hooks()
{
    SAHooks h{};
    h.FOpen = hookOpen;
    h.FRead = hookRead;
    h.FWrite = hookWrite;
    h.FSeek = hookSeek;
    h.FTell = hookTell;
    h.FFlush = hookFlush;
    h.FClose = hookClose;
    h.Remove = hookRemove;
    h.Error = hookError;
    h.Atof = hookAtof;
    return h;
}

class DbaseWriter : public Writer
{
public:
    explicit DbaseWriter(const Target &target)
        : m_target(target)
    { }
    ~DbaseWriter() override
    {
        if (m_dbf) {
            Scope scope(this);
            DBFClose(m_dbf);
        }
    }

    void begin(const QList<FieldDef> &fields, int) override
    {
        Scope scope(this);
        SAHooks h = hooks();
        // "LDID/87": the language driver of Windows ANSI in the header byte,
        // which dBASE readers go by; the .CPG is written separately.
        m_dbf = DBFCreateLL(QFile::encodeName(m_target.main).constData(), "LDID/87", &h);
        if (!m_dbf)
            fail(QStringLiteral("Cannot create"));
        const QStringList names = dbaseFieldNames(fields);
        m_record = QByteArray(1, ' ');
        for (int f = 0; f < fields.size(); ++f) {
            Column c;
            c.type = fields[f].type;
            switch (c.type) {
            case FieldType::Date:
                c.kind = 'D';
                c.width = 8;
                break;
            case FieldType::Money:
                c.kind = 'N';
                c.width = 19;
                c.decimals = 4;
                break;
            case FieldType::SmallInt:
                c.kind = 'N';
                c.width = 6;
                break;
            case FieldType::Counter:
                c.kind = 'N';
                c.width = 11;
                break;
            case FieldType::Text:
                c.kind = 'C';
                c.width = std::clamp(fields[f].size, 1, 255);
                break;
            }
            c.offset = int(m_record.size());
            c.name = fields[f].name;
            if (DBFAddNativeFieldType(
                    m_dbf, names[f].toLatin1().constData(), c.kind, c.width, c.decimals)
                < 0)
                fail(QStringLiteral("Cannot create"));
            m_record.append(QByteArray(c.width, ' '));
            m_columns.append(c);
        }
        const QDate today = QDate::currentDate();
        DBFSetLastModifiedDate(m_dbf, today.year() - 1900, today.month(), today.day());
    }

    void write(const std::vector<QVariant> &values) override
    {
        char *record = m_record.data();
        std::memset(record + 1, ' ', size_t(m_record.size() - 1));
        for (int f = 0; f < m_columns.size(); ++f) {
            const QVariant &value = values[f];
            if (value.isNull())
                continue;
            const Column &c = m_columns[f];
            char *field = record + c.offset;
            switch (c.type) {
            case FieldType::Date: {
                const QDate d = value.toDate();
                const QByteArray text = QStringLiteral("%1%2%3")
                                            .arg(d.year(), 4, 10, QLatin1Char('0'))
                                            .arg(d.month(), 2, 10, QLatin1Char('0'))
                                            .arg(d.day(), 2, 10, QLatin1Char('0'))
                                            .toLatin1();
                std::memcpy(field, text.constData(), 8);
                break;
            }
            case FieldType::Money:
                putNumber(c, field,
                    QByteArray::number(value.toDouble() == 0 ? 0.0 : value.toDouble(), 'f', 4));
                break;
            case FieldType::SmallInt:
            case FieldType::Counter:
                putNumber(c, field, QByteArray::number(value.toLongLong()));
                break;
            case FieldType::Text: {
                m_text.clear();
                bool exact = Cp1252::encode(value.toString(), m_text);
                if (m_text.size() > c.width) {
                    m_text.truncate(c.width);
                    exact = false;
                }
                if (!exact)
                    ++changed;
                std::memcpy(field, m_text.constData(), size_t(m_text.size()));
                break;
            }
            }
        }
        Scope scope(this);
        if (!DBFWriteTuple(m_dbf, m_written, record))
            fail(QStringLiteral("Cannot write"));
        ++m_written;
    }

    void finish() override
    {
        Scope scope(this);
        DBFHandle dbf = m_dbf;
        m_dbf = nullptr;
        DBFClose(dbf);
        if (m_state.error != 0 || !m_state.message.isEmpty())
            fail(QStringLiteral("Cannot write"));
        OutFile cpg(m_target.companion, m_target.shownCompanion);
        cpg.write(QByteArrayLiteral("1252"));
        cpg.finish();
    }

private:
    struct Column
    {
        QString name;
        FieldType type = FieldType::Text;
        char kind = 'C';
        int width = 0;
        int decimals = 0;
        int offset = 0;
    };
    // Routes the library's failures to this writer while it works.
    struct Scope
    {
        explicit Scope(DbaseWriter *w) { hookState = &w->m_state; }
        ~Scope() { hookState = nullptr; }
    };

    // Right-aligned; a number wider than its field would be cut and so changed.
    void putNumber(const Column &c, char *field, const QByteArray &text)
    {
        if (text.size() > c.width)
            throw EngineError(
                QStringLiteral("The value %1 of the field '%2' is too large for a dBASE table.")
                    .arg(QString::fromLatin1(text), c.name));
        std::memcpy(field + (c.width - text.size()), text.constData(), size_t(text.size()));
    }

    [[noreturn]] void fail(const QString &what)
    {
        if (m_state.error != 0)
            throw EngineError(QStringLiteral("%1 %2: %3")
                                  .arg(what, m_target.shownMain,
                                      QString::fromLocal8Bit(std::strerror(m_state.error))));
        QString text = QStringLiteral("%1 %2").arg(what, m_target.shownMain);
        if (!m_state.message.isEmpty())
            text += QStringLiteral(": ") + m_state.message;
        throw EngineError(text);
    }

    Target m_target;
    HookState m_state;
    DBFHandle m_dbf = nullptr;
    QList<Column> m_columns;
    QByteArray m_record;
    QByteArray m_text;
    int m_written = 0;
};
} // namespace

std::unique_ptr<Writer> dbaseWriter(const Target &target)
{
    return std::make_unique<DbaseWriter>(target);
}
} // namespace TableExport
