#include "base/TrayHost.h"

namespace {
ITrayHost* trayHost = nullptr;
}

ITrayHost* TrayHost()
{
    return trayHost;
}

void SetTrayHost(ITrayHost* host)
{
    trayHost = host;
}
