// A failed fetch in words, for the viewer's hint.
#include "core/net/FetchFailure.h"

#include "core/catalog/Strings.h"
#include "core/net/ClassHttpClient.h"

#include <gtest/gtest.h>

namespace {

TEST(FetchFailureTest, EachKindOfFailureInWords)
{
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
    variables.SetValue(QStringLiteral("FailNotJpeg"), QStringLiteral("pas une image JPEG"));
    EXPECT_EQ(FailureHintLine({TFailureKind::NotJpeg, 0, {}, now}, now),
              QStringLiteral("pas une image JPEG (15:09:26)"));
    RestoreMessageDefaults();
}

} // namespace
