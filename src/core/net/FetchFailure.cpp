#include "core/net/FetchFailure.h"

#include "core/catalog/Strings.h"
#include "core/net/ClassHttpClient.h"

TFetchFailure FailureOf(const THttpResult& result, const QDateTime& at)
{
    TFetchFailure failure;
    failure.At = at;
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
        switch (result.Net) {
        case TNetError::NameNotFound:
            failure.Kind = TFailureKind::NameNotFound;
            break;
        case TNetError::Refused:
            failure.Kind = TFailureKind::Refused;
            break;
        case TNetError::TimedOut:
            failure.Kind = TFailureKind::TimedOut;
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

QString FailureText(const TFetchFailure& failure)
{
    switch (failure.Kind) {
    case TFailureKind::None:
        return {};
    case TFailureKind::NameNotFound:
        return FailNameNotFound;
    case TFailureKind::Refused:
        return FailRefused;
    case TFailureKind::TimedOut:
        return FailTimedOut;
    case TFailureKind::Status:
        // The server's own words, as it sent them; a bare code when it sent none.
        return failure.Reason.isEmpty()
                   ? QString::number(failure.Status)
                   : QStringLiteral("%1 %2").arg(failure.Status).arg(failure.Reason);
    case TFailureKind::Redirect:
        return FailRedirect;
    case TFailureKind::TooLarge:
        return FailTooLarge;
    case TFailureKind::Broken:
        return FailBroken;
    case TFailureKind::NotJpeg:
        return FailNotJpeg;
    }
    return {};
}

QString FailureHintLine(const TFetchFailure& failure, const QDateTime& now)
{
    const QString cause = FailureText(failure);
    if (cause.isEmpty())
        return {};
    const QDateTime at = failure.At.toLocalTime();
    const QString time = at.date() == now.toLocalTime().date()
                             ? at.toString(QStringLiteral("hh:mm:ss"))
                             : at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QString line = FailureHint;
    line.replace(QStringLiteral("%cause%"), cause);
    line.replace(QStringLiteral("%time%"), time);
    return line;
}
