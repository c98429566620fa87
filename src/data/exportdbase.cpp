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

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

struct HookFile
{
    FILE *fp = nullptr;
    std::vector<char> buffer;
};

void noteError(int error)
{
    if (hookState && hookState->error == 0)
        hookState->error = error ? error : EIO;
}

SAFile hookOpen(const char *filename, const char *access)
{
    // The library creates the file ("wb"), then opens it again to fill it
    // ("rb+"). Creating insists on a new file: the temporary name is ours alone.
    const bool create = access[0] == 'w';
    const bool update = std::strchr(access, '+') != nullptr;
    const int flags = create ? O_RDWR | O_CREAT | O_EXCL : update ? O_RDWR : O_RDONLY;
    const int fd = ::open(filename, flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        noteError(errno);
        return nullptr;
    }
    FILE *fp = ::fdopen(fd, create ? "w+b" : update ? "r+b" : "rb");
    if (!fp) {
        noteError(errno);
        ::close(fd);
        return nullptr;
    }
    auto *file = new HookFile;
    file->fp = fp;
    file->buffer.resize(1 << 20);
    std::setvbuf(fp, file->buffer.data(), _IOFBF, file->buffer.size());
    return reinterpret_cast<SAFile>(file);
}

FILE *fileOf(SAFile file)
{
    return reinterpret_cast<HookFile *>(file)->fp;
}

SAOffset hookRead(void *p, SAOffset size, SAOffset count, SAFile file)
{
    return std::fread(p, size, count, fileOf(file));
}

SAOffset hookWrite(void *p, SAOffset size, SAOffset count, SAFile file)
{
    const SAOffset written = std::fwrite(p, size, count, fileOf(file));
    if (written != count)
        noteError(errno);
    return written;
}

SAOffset hookSeek(SAFile file, SAOffset offset, int whence)
{
    return SAOffset(std::fseek(fileOf(file), long(offset), whence));
}

SAOffset hookTell(SAFile file)
{
    return SAOffset(std::ftell(fileOf(file)));
}

int hookFlush(SAFile file)
{
    const int rc = std::fflush(fileOf(file));
    if (rc != 0)
        noteError(errno);
    return rc;
}

int hookClose(SAFile file)
{
    auto *f = reinterpret_cast<HookFile *>(file);
    int rc = std::fflush(f->fp);
    if (rc != 0)
        noteError(errno);
    if (rc == 0 && ::fsync(::fileno(f->fp)) != 0) {
        noteError(errno);
        rc = -1;
    }
    if (std::fclose(f->fp) != 0 && rc == 0) {
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
    SAHooks h {};
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
            if (DBFAddNativeFieldType(m_dbf, names[f].toLatin1().constData(), c.kind, c.width,
                    c.decimals)
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
                putNumber(c, field, QByteArray::number(value.toDouble() == 0 ? 0.0 : value.toDouble(), 'f', 4));
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
            throw EngineError(writeFailure(m_target.shownMain, m_state.error));
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
