#pragma once

#include <QString>

// The versions of the libraries the running program uses, as the About box shows them: Qt's and
// libcurl's as the loaded libraries report them, libjpeg-turbo's as its headers name it (the
// library has no call that reports it).
QString QtVersion();
QString CurlVersion();
QString JpegVersion();
