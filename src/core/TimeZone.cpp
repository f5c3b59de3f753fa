#include "core/TimeZone.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>
#include <ctime>

void PrepareTimeZone()
{
    // Without TZ the C library sets its zone up again at every local-time call, freeing and
    // copying its state while other threads read it. ":/etc/localtime" names the same zone as an
    // unset TZ (Qt reads it so too) and lets every later call find the zone already set up.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // Qt keeps its own view of the system zone and of local time; both are made here too.
    (void)QTimeZone::systemTimeZone();
    (void)QDateTime::currentDateTime().toString(Qt::ISODate);
}
