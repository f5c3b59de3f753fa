// A failed fetch in words, for the viewer's hint.
#include "core/net/FetchFailure.h"

#include "core/catalog/ProxySettings.h"
#include "core/catalog/Strings.h"
#include "core/image/JpegCodec.h"
#include "core/net/HttpClient.h"

#include <gtest/gtest.h>

namespace {

TEST(FetchFailureTest, EachKindOfFailureInWords)
{
    PublishProxySettings({}); // direct connections
    struct TRow
    {
        THttpOutcome Outcome;
        TNetError Net;
        long Status;
        const char* Reason;
        bool Location;
        const char* Text; // empty: no failure
    };
    const TRow rows[] = {
        {THttpOutcome::Failed, TNetError::NameNotFound, 0, "", false, "name not found"},
        {THttpOutcome::Failed, TNetError::Refused, 0, "", false, "connection refused"},
        {THttpOutcome::Failed, TNetError::TimedOut, 0, "", false, "time-out"},
        {THttpOutcome::Failed, TNetError::Other, 0, "", false, "connection broken"},
        {THttpOutcome::Failed, TNetError::RedirectLoop, 0, "", false,
         "too many redirects (more than 5): the address leads round in a loop"},
        {THttpOutcome::BadStatus, {}, 404, " Not \t Found ", false, "404 Not Found"},
        {THttpOutcome::BadStatus, {}, 500, "", false, "500"},
        {THttpOutcome::BadStatus, {}, 200, "OK", true, "redirected elsewhere, not followed"},
        {THttpOutcome::BadStatus, {}, 0, "", false, "connection broken"}, // no HTTP answer
        {THttpOutcome::TooLarge, {}, 200, "OK", false, "image too large"},
        {THttpOutcome::NotModified, {}, 304, "Not Modified", false, ""},
        {THttpOutcome::Abandoned, {}, 200, "OK", false, ""},
        {THttpOutcome::Aborted, {}, 0, "", false, ""},
    };
    for (const TRow& row : rows) {
        THttpResult result;
        result.Outcome = row.Outcome;
        result.Net = row.Net;
        result.Headers.Status = row.Status;
        result.Headers.Reason = row.Reason;
        result.Headers.HasLocation = row.Location;
        const TFetchFailure failure = FailureOf(result, QDateTime::currentDateTime());
        EXPECT_EQ(FailureText(failure), QString::fromLatin1(row.Text))
            << result.Cause().toStdString();
        EXPECT_EQ(failure.Kind == TFailureKind::None, *row.Text == 0) << row.Text;
    }
}

TEST(FetchFailureTest, HintLineTellsTheCauseAndTheTimeInTheCurrentLanguage)
{
    const QDateTime now(QDate(2026, 3, 14), QTime(15, 9, 26));
    TFetchFailure failure{
        TFailureKind::Refused, 0, {}, QDateTime(QDate(2026, 3, 14), QTime(9, 5, 7)), {}};
    EXPECT_EQ(FailureHintLine(failure, now),
              QStringLiteral("Last failure at 09:05:07: connection refused"));
    failure.At = QDateTime(QDate(2026, 3, 13), QTime(23, 59, 59)); // yesterday: the date too
    EXPECT_EQ(FailureHintLine(failure, now),
              QStringLiteral("Last failure at 2026-03-13 23:59:59: connection refused"));
    EXPECT_TRUE(FailureHintLine({}, now).isEmpty());

    TVariables variables;
    RegisterMessageVariables(variables);
    variables.SetValue(QStringLiteral("FailureHint"), QStringLiteral("%cause% (%time%)"));
    variables.SetValue(QStringLiteral("FailNotJpeg"), QStringLiteral("pas une image JPEG"));
    EXPECT_EQ(FailureHintLine({TFailureKind::NotJpeg, 0, {}, now, {}}, now),
              QStringLiteral("pas une image JPEG (15:09:26)"));
    RestoreMessageDefaults();
}

TEST(FetchFailureTest, UntrustedCertificateIsNamedForWhatIsWrongWithIt)
{
    // X509 verification results; a name that does not match is 1 when libcurl finds it.
    const std::pair<long, QString> rows[] = {
        {18, FailCertSelfSigned},
        {19, FailCertSelfSigned},
        {10, FailCertExpired},
        {9, FailCertExpired},
        {62, FailCertName},
        {1, FailCertName},
        {20, "the webcam's certificate is not trusted (verification error 20)"}};
    for (const auto& [code, text] : rows) {
        THttpResult result;
        result.Net = TNetError::Certificate;
        result.CertificateError = code;
        EXPECT_EQ(FailureText(FailureOf(result, {})), text) << code;
    }
}

// Causes that used to be put in words that sent the user the wrong way.
TEST(FetchFailureTest, AddressesAndProxiesAreNamedForWhatTheyAre)
{
    PublishProxySettings({});
    THttpClient http;
    http.ConnectTimeoutMs = 3000;
    QByteArray body;
    const QDateTime now = QDateTime::currentDateTime();
    for (const char* url :
         {"ftp://127.0.0.1/cam.jpg", "htp:/127.0.0.1/cam.jpg", "file:///etc/hosts", "no address"}) {
        const TFetchFailure failure = FailureOf(http.Get(QString::fromLatin1(url), body), now);
        EXPECT_EQ(failure.Kind, TFailureKind::BadAddress) << url;
        EXPECT_TRUE(FailureText(failure).contains(QStringLiteral("only http and https"))) << url;
    }
    // Nobody listens on port 9 of this machine: directly, the connection is refused; through a
    // proxy there, the proxy is named.
    const QString url = QStringLiteral("http://127.0.0.1:9/cam.jpg");
    EXPECT_EQ(FailureText(FailureOf(http.Get(url, body), now)), FailRefused);
    PublishProxySettings({QStringLiteral("127.0.0.1"), 9, {}, {}});
    http.Proxy = CurrentProxySettings();
    const TFetchFailure viaProxy =
        FailureOf(http.Get(QStringLiteral("http://192.0.2.1/cam.jpg"), body), now);
    PublishProxySettings({});
    EXPECT_EQ(FailureText(viaProxy),
              QStringLiteral("the proxy 127.0.0.1:9 refused the connection"));
}

TEST(FetchFailureTest, UndecodedBodySaysWhetherItIsTooLargeOrNoJpeg)
{
    const QDateTime now = QDateTime::currentDateTime();
    TBitmap bitmap(16, 16);
    QByteArray jpeg = JpegCodec::Encode(bitmap);
    ASSERT_FALSE(jpeg.isEmpty());
    // The same picture announcing 12000 x 9000 pixels, as a camera of 108 megapixels writes it.
    QByteArray large = jpeg;
    const int sof = large.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    const char size[] = {char(9000 >> 8), char(9000 & 0xFF), char(12000 >> 8), char(12000 & 0xFF)};
    large.replace(sof + 5, 4, size, 4);
    TBitmap out;
    EXPECT_FALSE(JpegCodec::Decode(large, out));
    EXPECT_EQ(
        FailureText(UndecodedFailure(large, now)),
        QStringLiteral("picture too large to show (12000 x 9000 pixels, more than 100 million)"));
    EXPECT_EQ(FailureText(UndecodedFailure("<html>busy</html>", now)), FailNotJpeg);
    // Cut short inside its data: a damaged JPEG image, no size to blame.
    const QByteArray cut = jpeg.left(jpeg.indexOf(QByteArray("\xFF\xDA", 2)) + 16);
    EXPECT_EQ(JpegCodec::RefusalOf(cut).Kind, JpegCodec::TRefusal::Damaged);
    EXPECT_EQ(FailureText(UndecodedFailure(cut, now)), FailNotJpeg);
}

} // namespace
