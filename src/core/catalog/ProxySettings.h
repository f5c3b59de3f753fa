#pragma once

#include <QString>

// The four proxy settings as one consistent value. The settings controller publishes a new value
// on the UI thread whenever they change; fetch workers take a copy before every request.
struct TProxySettings
{
    QString Host; // empty = no proxy
    int Port = 0;
    QString User;
    QString Pass;

    bool operator==(const TProxySettings&) const = default;
};

// Replaces the published value (any thread; in practice the UI thread).
void PublishProxySettings(const TProxySettings& settings);
// A copy of the value last published; the default value before the first publication.
TProxySettings CurrentProxySettings();
