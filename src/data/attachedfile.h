#pragma once

#include <QString>

// Keeps a table file attached to the engine's connection for as long as it
// lives, so statements can name it beside the other files of one transaction.
class AttachedFile
{
public:
    // fileName is looked up in the working directory without regard to case.
    explicit AttachedFile(const QString &fileName);
    ~AttachedFile();
    AttachedFile(const AttachedFile &) = delete;
    AttachedFile &operator=(const AttachedFile &) = delete;

    QString path() const { return m_path; }
    // The file's table, quoted for SQL: "alias"."data".
    QString table() const;

private:
    QString m_path;
    QString m_alias;
};
