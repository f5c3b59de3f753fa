#include "core/TimeZone.h"

#include <QDateTime>
#include <QTimeZone>
#include <ctime>

void PrepareTimeZone()
{
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // Qt keeps its own view of the system zone and of local time; both are made here too.
    (void)QTimeZone::systemTimeZone();
    (void)QDateTime::currentDateTime().toString(Qt::ISODate);
}
