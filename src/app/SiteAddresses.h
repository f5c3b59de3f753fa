#pragma once

#include <QString>

// The three web addresses of the Help sub-menu and the About box. They are build settings
// (PICTAVO_SITE_MAKER, PICTAVO_SITE_PRODUCT, PICTAVO_SITE_SUPPORT); a setting without a scheme
// names a page shipped with the program (the manual, beside the executable in the build tree or
// in <prefix>/share/pictavo when installed), given as a file:// address.
QString MakerAddress();
QString ProductAddress();
QString SupportAddress();

// A configured address as the program opens it: http, https and mailto addresses as they are; a
// relative path (with an optional #fragment) as a file:// address under programDir.
QString SiteAddress(const QString& configured, const QString& programDir);

// A configured address with a relative path resolved in the shipped folder that holds the page
// (ShippedFolder: beside the executable, then <prefix>/share/pictavo).
QString ShippedSiteAddress(const QString& configured, const QString& executableDir = QString());
