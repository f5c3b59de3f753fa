#include "core/net/FetchFailure.h"

#include "core/catalog/ProxySettings.h"
#include "core/catalog/Strings.h"
#include "core/image/JpegCodec.h"
#include "core/net/HttpClient.h"
#include "core/rules/CamAddress.h"

#include <curl/curl.h>

namespace {

// The client reports libcurl's own words for a failure: these name the cause exactly.
bool ErrorIs(const THttpResult& result, CURLcode code)
{
    return result.Error == QLatin1String(curl_easy_strerror(code));
}

// OpenSSL's X509 verification results (x509_vfy.h) as libcurl reports them. libcurl checks the
// host name itself, before it takes the chain's result: a name that does not match leaves the value
// it starts from, 1 ("unspecified"), or 0 where the chain's result was taken already.
enum : long
{
    X509Ok = 0,
    X509Unspecified = 1,
    X509NotYetValid = 9,
    X509Expired = 10,
    X509SelfSigned = 18,
    X509SelfSignedInChain = 19,
    X509HostMismatch = 62,
};

QString CertificateText(long code)
{
    switch (code) {
    case X509Ok:
    case X509Unspecified:
    case X509HostMismatch:
        return FailCertName;
    case X509NotYetValid:
    case X509Expired:
        return FailCertExpired;
    case X509SelfSigned:
    case X509SelfSignedInChain:
        return FailCertSelfSigned;
    default:
        return QString(FailCertUntrusted).replace(QLatin1String("%code%"), QString::number(code));
    }
}

QString ProxyName()
{
    const TProxySettings proxy = CurrentProxySettings();
    if (proxy.Host.trimmed().isEmpty())
        return {};
    return QStringLiteral("%1:%2").arg(proxy.Host.trimmed()).arg(proxy.Port);
}

} // namespace

TFetchFailure FailureOf(const THttpResult& result, const QDateTime& at)
{
    TFetchFailure failure;
    failure.At = at;
    failure.MovedTo = MaskedAddress(result.MovedTo);
    switch (result.Outcome) {
    case THttpOutcome::Ok:
    case THttpOutcome::Abandoned:
    case THttpOutcome::NotModified:
    case THttpOutcome::Aborted:
        failure.Kind = TFailureKind::None;
        break;
    case THttpOutcome::TooLarge:
        failure.Kind = TFailureKind::TooLarge;
        break;
    case THttpOutcome::BadStatus:
        if (result.Headers.Status == 0) {
            failure.Kind = TFailureKind::Broken; // no HTTP answer at all
        } else if (result.Headers.Status >= 200 && result.Headers.Status <= 299) {
            failure.Kind = TFailureKind::Redirect; // only a Location fails a 2xx
        } else {
            failure.Kind = TFailureKind::Status;
            failure.Status = int(result.Headers.Status);
            failure.Reason = QString::fromLatin1(result.Headers.Reason).simplified();
        }
        break;
    case THttpOutcome::Failed:
        // Only http and https are asked for; any other scheme, or no address at all, is refused
        // before a connection.
        if (ErrorIs(result, CURLE_UNSUPPORTED_PROTOCOL) || ErrorIs(result, CURLE_URL_MALFORMAT)) {
            failure.Kind = TFailureKind::BadAddress;
            break;
        }
        switch (result.Net) {
        case TNetError::NameNotFound:
            failure.Kind = TFailureKind::NameNotFound;
            if (ErrorIs(result, CURLE_COULDNT_RESOLVE_PROXY))
                failure.Reason = ProxyName();
            break;
        case TNetError::Refused:
            failure.Kind = TFailureKind::Refused;
            failure.Reason = ProxyName();
            break;
        case TNetError::TimedOut:
            failure.Kind = TFailureKind::TimedOut;
            break;
        case TNetError::RedirectLoop:
            failure.Kind = TFailureKind::RedirectLoop;
            break;
        case TNetError::Certificate:
            failure.Kind = TFailureKind::Certificate;
            failure.Status = int(result.CertificateError);
            break;
        case TNetError::None:
        case TNetError::Other:
            failure.Kind = TFailureKind::Broken;
            break;
        }
        break;
    }
    return failure;
}

void NoteMove(TFetchFailure& last, const THttpResult& result)
{
    const bool answered = result.Outcome == THttpOutcome::Ok ||
                          result.Outcome == THttpOutcome::NotModified ||
                          result.Outcome == THttpOutcome::Abandoned ||
                          result.Outcome == THttpOutcome::BadStatus || !result.MovedTo.isEmpty();
    if (answered)
        last.MovedTo = MaskedAddress(result.MovedTo);
}

TFetchFailure UndecodedFailure(const QByteArray& body, const QDateTime& at)
{
    TFetchFailure failure;
    failure.At = at;
    failure.Kind = TFailureKind::NotJpeg;
    const JpegCodec::TRefusal refusal = JpegCodec::RefusalOf(body);
    if (refusal.Kind == JpegCodec::TRefusal::TooLarge) {
        failure.Kind = TFailureKind::ImageTooLarge;
        failure.Reason = QStringLiteral("%1 x %2").arg(refusal.Width).arg(refusal.Height);
    }
    return failure;
}

QString FailureText(const TFetchFailure& failure)
{
    // The hints are built here: an address in the failure's words shows without its password.
    const QString reason = MaskedAddresses(failure.Reason);
    const auto withProxy = [&reason](QString text) {
        return text.replace(QLatin1String("%proxy%"), reason);
    };
    switch (failure.Kind) {
    case TFailureKind::None:
        return {};
    case TFailureKind::NameNotFound:
        return failure.Reason.isEmpty() ? FailNameNotFound : withProxy(FailProxyNotFound);
    case TFailureKind::Refused:
        return failure.Reason.isEmpty() ? FailRefused : withProxy(FailProxyRefused);
    case TFailureKind::TimedOut:
        return FailTimedOut;
    case TFailureKind::Status: {
        // The server's own words, as it sent them; a bare code when it sent none.
        const QString status = reason.isEmpty()
                                   ? QString::number(failure.Status)
                                   : QStringLiteral("%1 %2").arg(failure.Status).arg(reason);
        // 401: the user is told how to give a user name and a password.
        return failure.Status == 401
                   ? QString(FailSignIn).replace(QLatin1String("%status%"), status)
                   : status;
    }
    case TFailureKind::Redirect:
        return FailRedirect;
    case TFailureKind::TooLarge:
        return FailTooLarge;
    case TFailureKind::Broken:
        return FailBroken;
    case TFailureKind::NotJpeg:
        return FailNotJpeg;
    case TFailureKind::ImageTooLarge: {
        QString text = FailImageTooLarge;
        return text.replace(QLatin1String("%size%"), reason);
    }
    case TFailureKind::BadAddress:
        return FailAddress;
    case TFailureKind::RedirectLoop:
        return FailRedirectLoop;
    case TFailureKind::Certificate:
        return CertificateText(failure.Status);
    }
    return {};
}

QString FailureHintLine(const TFetchFailure& failure, const QDateTime& now)
{
    QStringList lines;
    const QString cause = FailureText(failure);
    if (!cause.isEmpty()) {
        const QDateTime at = failure.At.toLocalTime();
        const QString time = at.date() == now.toLocalTime().date()
                                 ? at.toString(QStringLiteral("hh:mm:ss"))
                                 : at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QString line = FailureHint;
        line.replace(QStringLiteral("%cause%"), cause);
        line.replace(QStringLiteral("%time%"), time);
        lines << line;
    }
    if (!failure.MovedTo.isEmpty())
        lines << QString(MovedHint).replace(QLatin1String("%url%"), failure.MovedTo);
    return lines.join(QLatin1Char('\n'));
}
