#include "crashfs.h"

#include <QByteArray>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace crash {
bool armed = false;
int steps = 0;
int unsyncedDeletes = 0;
bool shortCopies = false;

namespace {
sqlite3_vfs *real = nullptr;
sqlite3_vfs vfs;
sqlite3_io_methods methods;
int killAt = 0; // never when 0

struct File
{
    sqlite3_file base;
    sqlite3_file *real;
    bool copy; // a temporary table file of the program
};

sqlite3_file *inner(sqlite3_file *f)
{
    return reinterpret_cast<File *>(f)->real;
}

void step()
{
    if (armed && ++steps == killAt)
        ::kill(::getpid(), SIGKILL);
}

int xClose(sqlite3_file *f)
{
    return inner(f)->pMethods->xClose(inner(f));
}
int xRead(sqlite3_file *f, void *b, int n, sqlite3_int64 o)
{
    return inner(f)->pMethods->xRead(inner(f), b, n, o);
}
int get16(const unsigned char *p)
{
    return (p[0] << 8) | p[1];
}
void put16(unsigned char *p, int v)
{
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

// Drops the last entry of a leaf page whose entries lie end to end from the
// start of its content area, the last one first (as a copy appends them).
bool dropLastEntry(QByteArray &page)
{
    auto *p = reinterpret_cast<unsigned char *>(page.data());
    const int size = int(page.size());
    const bool leaf = p[0] == 0x0A || p[0] == 0x0D;
    const int cells = get16(p + 3);
    const int start = get16(p + 5);
    if (!leaf || cells < 2 || get16(p + 1) != 0 || p[7] != 0 || 8 + 2 * cells > start)
        return false;
    unsigned char *last = p + 8 + 2 * (cells - 1);
    if (get16(last) != start)
        return false;
    int end = size;
    for (int i = 0; i < cells - 1; ++i) {
        const int at = get16(p + 8 + 2 * i);
        if (at > start && at < end)
            end = at;
    }
    std::memset(p + start, 0, size_t(end - start));
    put16(last, 0);
    put16(p + 3, cells - 1);
    put16(p + 5, end);
    return true;
}

int xWrite(sqlite3_file *f, const void *b, int n, sqlite3_int64 o)
{
    // Page 1 holds the file header and the schema: left whole.
    if (shortCopies && reinterpret_cast<File *>(f)->copy && o > 0 && n >= 512 && n < 65536) {
        QByteArray page(static_cast<const char *>(b), n);
        if (dropLastEntry(page))
            return inner(f)->pMethods->xWrite(inner(f), page.constData(), n, o);
    }
    return inner(f)->pMethods->xWrite(inner(f), b, n, o);
}
int xTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    return inner(f)->pMethods->xTruncate(inner(f), size);
}
int xSync(sqlite3_file *f, int flags)
{
    step();
    return inner(f)->pMethods->xSync(inner(f), flags);
}
int xFileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    return inner(f)->pMethods->xFileSize(inner(f), size);
}
int xLock(sqlite3_file *f, int l)
{
    return inner(f)->pMethods->xLock(inner(f), l);
}
int xUnlock(sqlite3_file *f, int l)
{
    return inner(f)->pMethods->xUnlock(inner(f), l);
}
int xCheckReservedLock(sqlite3_file *f, int *out)
{
    return inner(f)->pMethods->xCheckReservedLock(inner(f), out);
}
int xFileControl(sqlite3_file *f, int op, void *arg)
{
    return inner(f)->pMethods->xFileControl(inner(f), op, arg);
}
int xSectorSize(sqlite3_file *f)
{
    return inner(f)->pMethods->xSectorSize(inner(f));
}
int xDeviceCharacteristics(sqlite3_file *f)
{
    return inner(f)->pMethods->xDeviceCharacteristics(inner(f));
}

int xOpen(sqlite3_vfs *, const char *name, sqlite3_file *f, int flags, int *outFlags)
{
    auto *file = reinterpret_cast<File *>(f);
    file->real = reinterpret_cast<sqlite3_file *>(file + 1);
    file->copy = name && (flags & SQLITE_OPEN_MAIN_DB) && std::strstr(name, "/~duesmith-");
    const int rc = real->xOpen(real, name, file->real, flags, outFlags);
    file->base.pMethods = file->real->pMethods ? &methods : nullptr;
    return rc;
}

int xDelete(sqlite3_vfs *, const char *name, int syncDir)
{
    step();
    const QByteArray file(name);
    if (armed && !syncDir && file.endsWith("-journal") && !file.contains("/.duesmith-session"))
        ++unsyncedDeletes;
    return real->xDelete(real, name, syncDir);
}

} // namespace

// Version 1 file methods leave out shared memory and memory mapping, which a
// rollback journal needs not.
void install(int at)
{
    if (real)
        sqlite3_vfs_unregister(&vfs); // installed before: vfs is in the list
    else
        real = sqlite3_vfs_find(nullptr);
    vfs = *real;
    vfs.zName = "crashcount";
    vfs.szOsFile = int(sizeof(File)) + real->szOsFile;
    vfs.xOpen = xOpen;
    vfs.xDelete = xDelete;
    methods = { 1, xClose, xRead, xWrite, xTruncate, xSync, xFileSize, xLock, xUnlock,
        xCheckReservedLock, xFileControl, xSectorSize, xDeviceCharacteristics, nullptr, nullptr,
        nullptr, nullptr, nullptr, nullptr };
    killAt = at;
    sqlite3_vfs_register(&vfs, 1);
}

void uninstall()
{
    shortCopies = false;
    if (!real)
        return;
    sqlite3_vfs_unregister(&vfs);
    sqlite3_vfs_register(real, 1);
}
} // namespace crash
