#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct THttpResult;

// Why a webcam's last fetch failed, in a form the windows can put into words.
enum class TFailureKind
{
    None,          // nothing failed (or only an unchanged image, which is no failure)
    NameNotFound,  // the host name has no address
    Refused,       // nobody accepted the connection
    TimedOut,      // no connection, or no byte, within the time-out
    Status,        // an HTTP status other than 2xx: Status and Reason say which
    Redirect,      // a 2xx answer that points elsewhere (Location), not followed
    TooLarge,      // the body passed the size limit
    Broken,        // the connection broke, or the answer was not HTTP
    NotJpeg,       // the body arrived but is no JPEG image (or a damaged one)
    ImageTooLarge, // a JPEG image with more pixels than the program shows (size in Reason)
    BadAddress,    // not an http or https address, so nothing was asked
    RedirectLoop,  // more redirects than are followed: the address leads round in a loop
    Certificate,   // the server's certificate was not trusted (Status: the X509 check's result)
};

struct TFetchFailure
{
    TFailureKind Kind = TFailureKind::None;
    int Status = 0; // for Status; for Certificate the X509 verification code
    // For Status: the server's words after the code; for ImageTooLarge: the picture's declared
    // size, "<width> x <height>"; for Refused and NameNotFound through a proxy: the proxy's
    // host:port (empty for a direct connection).
    QString Reason;
    QDateTime At; // when it failed
    // The address the webcam has moved to for good, as it may be shown (password masked); told
    // with a failure or after an image. Empty when it has not moved.
    QString MovedTo;

    // Nothing to tell: no failure and no move.
    bool Empty() const { return Kind == TFailureKind::None && MovedTo.isEmpty(); }
};

// The failure a fetch result stands for, at time at; Kind None for a success, an unchanged image
// (abandoned or 304 to a conditional request) and a transfer cut short by the exit. A connection
// refused while a proxy is set (the published proxy settings) names the proxy. A permanent move
// followed is in MovedTo, whatever the outcome.
TFetchFailure FailureOf(const THttpResult& result, const QDateTime& at);

// Keeps in last, the failure a feed reports, the permanent move that the answer in result tells
// of: set when the webcam answered through one, cleared when it answered without one, unchanged
// when no answer came.
void NoteMove(TFetchFailure& last, const THttpResult& result);

// The failure of a body that arrived but did not decode: NotJpeg, or ImageTooLarge with the
// picture's size.
TFetchFailure UndecodedFailure(const QByteArray& body, const QDateTime& at);

// The failure in words, from the message texts: "connection refused", "404 Not Found", ...; a 401
// says how to give the user name and password (FailSignIn). A password in an address among the
// failure's words shows as ***. A certificate is named for what is wrong with it: self-signed,
// expired (or not valid yet), made out to another name, or else not trusted. Empty for Kind None.
QString FailureText(const TFetchFailure& failure);

// The line for a hint: the message FailureHint with %cause% and %time% replaced (the time as
// hh:mm:ss, the date in front when it is not the day of now), then on a line of its own the
// message MovedHint when the webcam moved; empty when the failure is Empty.
QString FailureHintLine(const TFetchFailure& failure, const QDateTime& now);
