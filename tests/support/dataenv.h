#pragma once

#include <QString>
#include <QTemporaryDir>

// What a test of the data and domain layers needs around it: its own working
// directory for the tables, its own settings file and en_US. Links no widgets.
class DataEnv
{
public:
    DataEnv();
    ~DataEnv();
    DataEnv(const DataEnv &) = delete;
    DataEnv &operator=(const DataEnv &) = delete;

    QString dir() const { return m_dir.path(); }
    QString settingsFile() const;
    // Creates the five live tables, empty, in the working directory.
    void createTables();

private:
    QTemporaryDir m_dir;
    QString m_oldDir;
};
