#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target runs in: a QCoreApplication, en_US, and a private
// working directory that also holds the settings file. Made once.
namespace FuzzEnv {
void setUp();
// The private directory (also the working directory).
QString dir();
QByteArray bytes(const uint8_t *data, size_t size);
// Writes a whole file, replacing it; aborts when it cannot (a broken set-up
// must not pass for inputs that found nothing).
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// Stops the run with a message: a property the target checks does not hold.
[[noreturn]] void fail(const char *what, const QString &detail = {});
} // namespace FuzzEnv
