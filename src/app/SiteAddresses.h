#pragma once

#include <QString>

// The three web addresses of the Help sub-menu and the About box. They are build settings
// (PICTAVO_SITE_MAKER, PICTAVO_SITE_PRODUCT, PICTAVO_SITE_SUPPORT); a setting without a scheme
// names a page shipped with the program (the manual, beside the executable in the build tree or
// in <prefix>/share/pictavo when installed), given as a file:// address, in the language of the
// moment where the manual has the page in it (ManualSiteAddress).
QString MakerAddress();
QString ProductAddress();
QString SupportAddress();

// An address as a person reads it: a page shipped with the program as its path, others as they
// are.
QString ReadableAddress(const QString& address);

// A configured address as the program opens it: http, https and mailto addresses as they are; a
// relative path (with an optional #fragment) as a file:// address under programDir.
QString SiteAddress(const QString& configured, const QString& programDir);

// A configured address with a relative path resolved in the shipped folder that holds the page
// (ShippedFolder: beside the executable, then <prefix>/share/pictavo).
QString ShippedSiteAddress(const QString& configured, const QString& executableDir = QString());

// ShippedSiteAddress for a page of the manual in a language (its two-letter code): the manual's
// pages in other languages than English stand in a folder named after the code, so
// "manual/index.html#help" opens "manual/fr/index.html#help" in French. A language without that
// page, and English, open the page itself.
QString ManualSiteAddress(const QString& configured, const QString& language,
                          const QString& executableDir = QString());
