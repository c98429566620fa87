#pragma once

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

// Writes err to standard error, then out to standard output. Returns code, or
// ExitCode::BadInput with one line on standard error when out could not be
// written in full.
int finish(int code, const QString &out, const QString &err);
} // namespace Console
