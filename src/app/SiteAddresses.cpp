#include "app/SiteAddresses.h"

#include "SiteConfig.h"
#include "core/catalog/ShippedFiles.h"

#include <QUrl>

QString SiteAddress(const QString& configured, const QString& programDir)
{
    const QUrl url(configured);
    if (!url.scheme().isEmpty())
        return configured;
    const QString path = configured.section(QLatin1Char('#'), 0, 0);
    const QString fragment = configured.section(QLatin1Char('#'), 1);
    QUrl file = QUrl::fromLocalFile(programDir + QLatin1Char('/') + path);
    if (!fragment.isEmpty())
        file.setFragment(fragment);
    return file.toString();
}

QString ShippedSiteAddress(const QString& configured, const QString& executableDir)
{
    const QString path = configured.section(QLatin1Char('#'), 0, 0);
    return SiteAddress(configured, ShippedFolder(path, executableDir));
}

QString MakerAddress()
{
    return ShippedSiteAddress(QStringLiteral(PICTAVO_SITE_MAKER));
}

QString ProductAddress()
{
    return ShippedSiteAddress(QStringLiteral(PICTAVO_SITE_PRODUCT));
}

QString SupportAddress()
{
    return ShippedSiteAddress(QStringLiteral(PICTAVO_SITE_SUPPORT));
}
