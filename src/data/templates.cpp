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
    } all[]
        = { { Schedule, Layouts::item() }, { Age, Layouts::aging() }, { Payee, Layouts::payee() } };
    for (const auto &t : all) {
        const QString path = QDir(folder).absoluteFilePath(t.name);
        QFile::remove(path);
        Engine::instance().createTable(path, t.layout);
    }
}

QStringList Templates::provideMissing(const QString &programFolder)
{
    QStringList copied;
    auto provide = [&](const QString &templ, const QString &live) {
        if (Engine::exists(live) || Engine::exists(templ))
            return;
        const QString source = QDir(programFolder).absoluteFilePath(templ);
        if (!QFileInfo::exists(source))
            throw EngineError(
                QStringLiteral("The template table %1 is missing beside the program.").arg(templ));
        Engine::instance().copyTable(source, templ);
        copied.append(templ);
    };
    provide(Age, TableFiles::Aging);
    provide(Payee, TableFiles::Payee);
    provide(Schedule, TableFiles::Schedule);
    return copied;
}
