// A failed fetch in words, for the viewer's hint.
#include "core/net/FetchFailure.h"

#include "core/catalog/Strings.h"
#include "core/net/ClassHttpClient.h"

#include <gtest/gtest.h>

namespace {

THttpResult Result(THttpOutcome outcome, TNetError net = TNetError::None, long status = 0,
                   const char* reason = "", bool location = false)
{
    THttpResult r;
    r.Outcome = outcome;
    r.Net = net;
    r.Headers.Status = status;
    r.Headers.Reason = reason;
    r.Headers.HasLocation = location;
    return r;
}

TEST(FetchFailureTest, EachKindOfFailureInWords)
{
    struct TRow
    {
        THttpResult Result;
        const char* Text;
    };
    const TRow rows[] = {
        {Result(THttpOutcome::Failed, TNetError::NameNotFound), "name not found"},
        {Result(THttpOutcome::Failed, TNetError::Refused), "connection refused"},
        {Result(THttpOutcome::Failed, TNetError::TimedOut), "time-out"},
        {Result(THttpOutcome::Failed, TNetError::Other), "connection broken"},
        {Result(THttpOutcome::BadStatus, {}, 404, "Not Found"), "404 Not Found"},
        {Result(THttpOutcome::BadStatus, {}, 503, "  Service \t Unavailable "),
         "503 Service Unavailable"},
        {Result(THttpOutcome::BadStatus, {}, 500), "500"},
        {Result(THttpOutcome::BadStatus, {}, 302, "Found", true), "302 Found"},
        {Result(THttpOutcome::BadStatus, {}, 304, "Not Modified"), "304 Not Modified"},
        {Result(THttpOutcome::BadStatus, {}, 200, "OK", true),
         "redirected elsewhere, not followed"},
        {Result(THttpOutcome::BadStatus), "connection broken"}, // no HTTP answer at all
        {Result(THttpOutcome::TooLarge), "image too large"},
        // Not failures: nothing to show.
        {Result(THttpOutcome::Ok, {}, 200), ""},
        {Result(THttpOutcome::NotModified, {}, 304), ""},
        {Result(THttpOutcome::Abandoned, {}, 200), ""},
        {Result(THttpOutcome::Aborted), ""},
    };
    const QDateTime at = QDateTime::currentDateTime();
    for (const TRow& row : rows) {
        const TFetchFailure failure = FailureOf(row.Result, at);
        EXPECT_EQ(FailureText(failure), QString::fromLatin1(row.Text))
            << row.Result.Cause().toStdString();
        EXPECT_EQ(failure.Kind == TFailureKind::None, *row.Text == 0);
    }
    EXPECT_EQ(FailureText({TFailureKind::NotJpeg, 0, {}, at}), QStringLiteral("not a JPEG image"));
}

TEST(FetchFailureTest, HintLineTellsTheCauseAndTheTimeInTheCurrentLanguage)
{
    const QDateTime now(QDate(2026, 3, 14), QTime(15, 9, 26));
    TFetchFailure failure{
        TFailureKind::Refused, 0, {}, QDateTime(QDate(2026, 3, 14), QTime(9, 5, 7))};
    EXPECT_EQ(FailureHintLine(failure, now),
              QStringLiteral("Last failure at 09:05:07: connection refused"));
    failure.At = QDateTime(QDate(2026, 3, 13), QTime(23, 59, 59)); // yesterday: the date too
    EXPECT_EQ(FailureHintLine(failure, now),
              QStringLiteral("Last failure at 2026-03-13 23:59:59: connection refused"));
    EXPECT_TRUE(FailureHintLine({}, now).isEmpty());

    TVariables variables;
    RegisterMessageVariables(variables);
    variables.SetValue(QStringLiteral("FailureHint"), QStringLiteral("%cause% (%time%)"));
    variables.SetValue(QStringLiteral("FailRefused"), QStringLiteral("connexion refusée"));
    failure.At = now;
    EXPECT_EQ(FailureHintLine(failure, now), QStringLiteral("connexion refusée (15:09:26)"));
    RestoreMessageDefaults();
}

} // namespace
