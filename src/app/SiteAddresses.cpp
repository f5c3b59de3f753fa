#include "app/SiteAddresses.h"

#include "SiteConfig.h"

#include <QCoreApplication>
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

QString MakerAddress()
{
    return SiteAddress(QStringLiteral(PICTAVO_SITE_MAKER), QCoreApplication::applicationDirPath());
}

QString ProductAddress()
{
    return SiteAddress(QStringLiteral(PICTAVO_SITE_PRODUCT),
                       QCoreApplication::applicationDirPath());
}

QString SupportAddress()
{
    return SiteAddress(QStringLiteral(PICTAVO_SITE_SUPPORT),
                       QCoreApplication::applicationDirPath());
}
