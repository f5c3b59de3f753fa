#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The chooser's hover text for a webcam: the template's %name%, %url%, %email% and %home%
// replaced by the webcam's Name, Url, Email and Homepage, in that order, then %date% by dateText.
// Each marker is replaced at its first occurrence only, matching case. The hover text is no place
// for a password: the one in an address (Url, Homepage, or an address in the name) shows as ***.
QString CamHintText(const QString& hint, const QString& name, const QString& url,
                    const QString& email, const QString& home, const QString& dateText);

// A last-update time as the hover text shows it: the locale's short date, then its long time,
// which is left out at exactly midnight. Empty for an invalid time (the caller shows "Unknown").
QString CamHintDate(const QDateTime& when, const QLocale& locale);
