#include "clock.h"

namespace {
Clock systemClock;
Clock *installed = nullptr;
} // namespace

QDateTime Clock::now() const
{
    return QDateTime::currentDateTime();
}

Clock &Clock::current()
{
    return installed ? *installed : systemClock;
}

void Clock::install(Clock *clock)
{
    installed = clock;
}
