#include "dataenv.h"

#include "data/engine.h"
#include "data/layouts.h"
#include "data/tablefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QSettings>

DataEnv::DataEnv()
{
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(
        QSettings::IniFormat, QSettings::UserScope, m_dir.path() + QStringLiteral("/settings"));
}

DataEnv::~DataEnv()
{
    QDir::setCurrent(m_oldDir);
}

QString DataEnv::settingsFile() const
{
    return QSettings(
        QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName())
        .fileName();
}

void DataEnv::createTables()
{
    Engine &engine = Engine::instance();
    engine.createTable(TableFiles::Schedule, Layouts::item());
    engine.createTable(TableFiles::History, Layouts::item());
    engine.createTable(TableFiles::Resched, Layouts::item());
    engine.createTable(TableFiles::Payee, Layouts::payee());
    engine.createTable(TableFiles::Aging, Layouts::aging());
}
