#pragma once

#include <QList>
#include <QPointer>
#include <QString>

class Table;

// Closes every handle open on a table file, so the file can be replaced (a
// restore) underneath the windows that hold it, and opens them again when it
// goes out of scope or on reopen(). Handles destroyed in between are skipped.
class ClosedHandles
{
public:
    // fileName is matched without regard to case.
    explicit ClosedHandles(const QString &fileName);
    // Reopens whatever reopen() has not; an error there is not thrown.
    ~ClosedHandles();
    ClosedHandles(const ClosedHandles &) = delete;
    ClosedHandles &operator=(const ClosedHandles &) = delete;

    int count() const { return int(m_tables.size()); }
    // Opens the handles again, in the order they were opened; throws the
    // first error after trying them all.
    void reopen();

private:
    QList<QPointer<Table>> m_tables;
};
