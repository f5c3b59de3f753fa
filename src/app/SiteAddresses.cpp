#include "app/SiteAddresses.h"

#include "SiteConfig.h"
#include "base/Translator.h"
#include "core/catalog/ShippedFiles.h"
#include "core/rules/CamAddress.h"

#include <QUrl>

QString ReadableAddress(const QString& address)
{
    const QUrl url(address);
    return url.isLocalFile() ? url.toLocalFile() : MaskedAddress(address);
}

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

QString ManualSiteAddress(const QString& configured, const QString& language,
                          const QString& executableDir)
{
    const QString manual = QStringLiteral("manual/");
    const QString path = configured.section(QLatin1Char('#'), 0, 0);
    const bool translatable = QUrl(configured).scheme().isEmpty() && path.startsWith(manual) &&
                              !language.isEmpty() && language != QLatin1String("en") &&
                              !language.contains(QLatin1Char('/')) &&
                              !language.contains(QLatin1Char('.'));
    if (translatable) {
        const QString translated = manual + language + QLatin1Char('/') + path.mid(manual.size());
        if (!ShippedPath(translated, executableDir).isEmpty())
            return ShippedSiteAddress(translated + configured.mid(path.size()), executableDir);
    }
    return ShippedSiteAddress(configured, executableDir);
}

namespace {
// The two-letter code of the language shown.
QString languageShown()
{
    return QLocale::languageToCode(PvTranslator().Locale().language(), QLocale::ISO639Part1);
}
} // namespace

QString MakerAddress()
{
    return ManualSiteAddress(QStringLiteral(PICTAVO_SITE_MAKER), languageShown());
}

QString ProductAddress()
{
    return ManualSiteAddress(QStringLiteral(PICTAVO_SITE_PRODUCT), languageShown());
}

QString SupportAddress()
{
    return ManualSiteAddress(QStringLiteral(PICTAVO_SITE_SUPPORT), languageShown());
}
