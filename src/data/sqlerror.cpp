#include "sqlerror.h"

#include "engine.h"

#include <QFileInfo>

#include <sqlite3.h>

EngineError engineError(const SQLite::Exception &error, const QString &file)
{
    QString text = Engine::instance().plainText(QString::fromUtf8(error.what()));
    if (error.getErrorCode() == SQLITE_CONSTRAINT && text.contains(QLatin1String("UNIQUE")))
        text = QStringLiteral("Key violation.");
    if (!file.isEmpty())
        text = QFileInfo(file).fileName() + QStringLiteral(": ") + text;
    return EngineError(text);
}
