#include "core/Versions.h"

#include <QtGlobal>
#include <cstdio>
#include <curl/curl.h>
#include <jpeglib.h>

#define PICTAVO_TEXT(x) #x
#define PICTAVO_TEXT_OF(x) PICTAVO_TEXT(x)

QString QtVersion()
{
    return QString::fromLatin1(qVersion());
}

QString CurlVersion()
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info && info->version ? QString::fromLatin1(info->version) : QString();
}

QString JpegVersion()
{
#ifdef LIBJPEG_TURBO_VERSION
    return QStringLiteral(PICTAVO_TEXT_OF(LIBJPEG_TURBO_VERSION));
#else
    return QString::number(JPEG_LIB_VERSION / 10) + QLatin1Char('.') +
           QString::number(JPEG_LIB_VERSION % 10);
#endif
}
