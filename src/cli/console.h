#pragma once

#include <QIODevice>
#include <QString>

// Standard streams of the command-line modes, written so that a failed write
// is seen and reported rather than lost.
namespace Console {
// Opens /dev/null on any of descriptors 0-2 that is closed, so that no file
// the program opens later takes its place (and is printed into). Remembers
// whether standard output was closed: writing to it is then an error.
void guardStandardStreams();

// Stops SIGPIPE from ending the program; a reader that went away becomes a
// write error like any other.
void ignoreBrokenPipe();

// Standard output as a device, written as the output is made so that a long
// listing is never held whole. The first failed write is remembered and the
// rest is dropped.
class Output : public QIODevice
{
public:
    Output();
    // errno of the failed write; 0 when all was written.
    int failure() const { return m_failure; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    int m_failure = 0;
};

// Writes err to standard error. Returns code, or ExitCode::BadInput with one
// line on standard error when out could not be written in full.
int finish(int code, const Output &out, const QString &err);
} // namespace Console
