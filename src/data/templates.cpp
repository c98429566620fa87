#include "templates.h"

#include "engine.h"
#include "engineerror.h"
#include "layouts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void Templates::write(const QString &folder)
{
    const struct
    {
        QString name;
        const Layout &layout;
    } all[] = {{Schedule, Layouts::item()}, {Age, Layouts::aging()}, {Payee, Layouts::payee()}};
    for (const auto &t : all) {
        const QString path = QDir(folder).absoluteFilePath(t.name);
        QFile::remove(path);
        Engine::instance().createTable(path, t.layout);
    }
}

QStringList Templates::provideMissing(const QString &programFolder)
{
    auto missing = [](const char *name) { return !Engine::exists(QString::fromLatin1(name)); };
    QStringList copied;
    auto provide = [&](const QString &templ, const QString &dest) {
        if (Engine::exists(dest))
            return;
        const QString source = QDir(programFolder).absoluteFilePath(templ);
        if (!QFileInfo::exists(source))
            throw EngineError(QStringLiteral("The template table %1 is missing beside the program.").arg(templ));
        Engine::instance().copyTable(source, dest);
        copied.append(dest);
    };

    if (missing("age.db"))
        provide(Age, Age);
    if (missing("payee.db"))
        provide(Payee, Payee);
    if (missing("schedule.DB") || missing("history.DB")) {
        provide(Schedule, Schedule);
    } else if (missing("resched.DB")) {
        // The work table holds nothing worth carrying: a fresh copy is enough, and
        // the user's items keep their keys and marks.
        const QString source = QDir(programFolder).absoluteFilePath(Schedule);
        if (!QFileInfo::exists(source))
            throw EngineError(QStringLiteral("The template table %1 is missing beside the program.").arg(Schedule));
        Engine::instance().copyTable(source, QStringLiteral("resched.DB"));
        copied.append(QStringLiteral("resched.DB"));
    }
    return copied;
}
