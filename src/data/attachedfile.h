#pragma once

#include <QString>

#include <optional>
#include <string>

// Keeps a table file attached to the engine's connection for as long as it
// lives, so statements can name it beside the other files of one transaction.
class AttachedFile
{
public:
    // fileName is looked up in the working directory without regard to case.
    // With cacheKiB the file's page cache is that large while attached (a long
    // write that touches every index would otherwise read the same pages again
    // and again); the connection's own size comes back afterwards.
    // A file attached readOnly is never written, nor is anything created beside it.
    explicit AttachedFile(const QString &fileName, int cacheKiB = 0, bool readOnly = false);
    ~AttachedFile();
    AttachedFile(const AttachedFile &) = delete;
    AttachedFile &operator=(const AttachedFile &) = delete;

    QString path() const { return m_path; }
    // The file's table, quoted for SQL: "alias"."data".
    QString table() const;
    // The file's journal mode and synchronous setting as PRAGMA statements,
    // so that another connection to it writes with the same durability.
    std::string durabilityPragmas() const;

private:
    QString pragma(const QString &setting) const;

    QString m_path;
    QString m_alias;
    std::optional<int> m_cacheSize;
};
