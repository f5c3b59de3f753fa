#pragma once

#include <QString>
#include <stdexcept>
#include <string>

// Every failure of the AVI writer: a fixed English message, shown by the caller as it stands.
class TAviError : public std::runtime_error
{
public:
    explicit TAviError(const std::string& message) : std::runtime_error(message) {}
    QString Message() const { return QString::fromUtf8(what()); }
};
