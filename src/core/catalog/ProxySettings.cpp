#include "core/catalog/ProxySettings.h"

#include <mutex>

namespace {
std::mutex proxyMutex;
TProxySettings proxyValue;
} // namespace

void PublishProxySettings(const TProxySettings& settings)
{
    std::lock_guard lock(proxyMutex);
    proxyValue = settings;
}

TProxySettings CurrentProxySettings()
{
    std::lock_guard lock(proxyMutex);
    return proxyValue;
}
