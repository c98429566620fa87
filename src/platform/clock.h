#pragma once

#include <QDate>
#include <QDateTime>

// Every comparison against "now" goes through the clock, so tests can pin it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const;
    QDate today() const { return now().date(); }

    static Clock &current();
    static void install(Clock *clock);
};

class PinnedClock : public Clock
{
public:
    explicit PinnedClock(const QDateTime &at)
        : m_at(at)
    { }
    QDateTime now() const override { return m_at; }
    void set(const QDateTime &at) { m_at = at; }

private:
    QDateTime m_at;
};
