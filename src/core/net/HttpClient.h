#pragma once

#include "core/catalog/ProxySettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The HTTP request form of both fetch threads, on one libcurl easy handle. A client belongs to one
// thread at a time. GET only, body into memory, only a 2xx status succeeds, http and https only.
//
// Redirects are followed, MaxRedirects at most, to http and https addresses only. A user name and a
// password in the address are offered by Basic and Digest sign-in to the address's own host (the
// same scheme, name and port): never to a host that a redirect leads to.

// What the headers of a response say.
struct THttpHeaders
{
    long Status = 0;
    // Last-Modified as a local date-time; invalid (null) when the header is missing or unreadable.
    QDateTime LastModified;
    // Content-Length; -1 when the header is missing or unreadable.
    qint64 ContentLength = -1;
    bool HasLocation = false;
    QByteArray Location;         // as sent: often relative to the request's address
    QByteArray Reason;           // the status line's words after the code ("Not Found")
    QByteArray LastModifiedText; // Last-Modified as sent, to be sent back in If-Modified-Since
    QByteArray ETag;             // as sent, quotes included; empty when there was none
    QByteArray ContentType;
};

// Takes one line of a response's headers (its line end may be there or not) into headers: a status
// line ("HTTP/1.1 200 OK") starts a new response, so the headers so far are forgotten; the headers
// that the program reads are taken, any other is passed over. False for the blank line that ends
// the headers.
bool ReadHttpHeaderLine(const QByteArray& line, THttpHeaders& headers);

// What a conditional request sends back: the Last-Modified and ETag of the image the client
// already holds. Empty fields are not sent; with both empty the request is a plain GET.
struct THttpValidators
{
    QByteArray LastModified;
    QByteArray ETag;
    bool Empty() const { return LastModified.isEmpty() && ETag.isEmpty(); }
    static THttpValidators Of(const THttpHeaders& headers)
    {
        return {headers.LastModifiedText, headers.ETag};
    }
};

// Two Last-Modified values are the same when both are absent or both name the same instant. An
// absent date never equals a present one.
bool SameHttpDate(const QDateTime& a, const QDateTime& b);

// The unchanged-image test: whether a response whose headers are `headers` brings the same image as
// the last one, known by its Last-Modified (invalid = none) and Content-Length (-1 = none). Both
// must be equal. A response that carries neither a readable date nor a length tells nothing about
// its image, so it is never taken as unchanged.
bool SameImage(const THttpHeaders& headers, const QDateTime& lastModified, qint64 contentLength);

// Reads an HTTP date (RFC 1123, RFC 850 or asctime form) as a local date-time; invalid when the
// text is not such a date.
QDateTime ParseHttpDate(const QByteArray& text);
// The HTTP form (RFC 1123, GMT) of a date-time; empty for an invalid one.
QByteArray FormatHttpDate(const QDateTime& date);

enum class THttpOutcome
{
    Ok,        // 2xx, body read in full
    Failed,    // no connection, time-out, broken connection, bad URL or protocol
    BadStatus, // a status other than 2xx, or a redirect not followed (a 2xx with a Location)
    Abandoned, // the headers hook declared the image unchanged; the body was not read
    // 304 to a conditional request: the image held is still current. No body; the connection is
    // kept. A 304 to a plain GET is a BadStatus.
    NotModified,
    TooLarge, // the body grew past MaxBodySize
    Aborted,  // the process is shutting down (AbortAll), or Cancelled ended a response
};

// Why a transfer failed on the network side, as far as the transport tells.
enum class TNetError
{
    None,
    NameNotFound, // the host (or the proxy) has no address
    Refused,      // nobody accepted the connection
    TimedOut,     // connecting, or waiting for the next byte, took too long
    RedirectLoop, // more redirects than THttpClient::MaxRedirects
    Certificate,  // the server's certificate was not trusted: CertificateError says why
    Other,        // broken connection, protocol error, bad URL, ...
};

struct THttpResult
{
    THttpOutcome Outcome = THttpOutcome::Failed;
    THttpHeaders Headers;            // of the final response, as far as they arrived
    QString Error;                   // what went wrong, for Failed
    TNetError Net = TNetError::None; // for Failed
    // For TNetError::Certificate: the certificate check's result, an X509 verification code of
    // OpenSSL (X509_V_ERR_...); 1 (or 0) when the certificate is made out to another host name.
    long CertificateError = 0;
    // The address the webcam has moved to for good: the target of a permanent redirect (301,
    // 308) that was followed, when every redirect before it was permanent too. It keeps the user
    // info of the request when it stays on the same host name, so it is the address to write into
    // the catalogue. Empty when no permanent move was followed. Holds a password: mask it to show.
    QString MovedTo;
    // For a stream (OnPart set, multipart/x-mixed-replace answer): the parts handed on; -1 for a
    // plain response. A stream that the server ends is Ok with an empty body.
    int Parts = -1;
    bool Ok() const { return Outcome == THttpOutcome::Ok; }
    // The cause of a failure in a few words, for the log.
    QString Cause() const;
};

struct THttpTransferState;

class THttpClient
{
public:
    static constexpr qint64 DefaultMaxBody = qint64(64) * 1024 * 1024;
    // Redirects followed per request; one more fails it with TNetError::RedirectLoop.
    static constexpr int MaxRedirects = 5;

    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // Configuration, applied at each Get.
    TProxySettings Proxy;      // empty Host: direct connection
    int ReadTimeoutMs = 10000; // this long without a byte, once the request is sent, fails it
    // Name lookup and connection together may take this long; a host that drops packets would
    // otherwise hold a fetch for minutes.
    int ConnectTimeoutMs = 10000;
    // One image may take this long: a response from the start of the request, each part of a
    // stream from the end of the one before. A body that trickles a byte now and then never lets
    // the read time-out expire; this ends it, as a time-out. 0: no limit.
    int ImageTimeoutMs = 60000;
    int ReceiveBuffer = 1024; // bytes per read, so per progress report
    QString Referer;          // sent only when not empty
    // Sent as If-Modified-Since and If-None-Match; a 304 then gives NotModified.
    THttpValidators Validators;
    qint64 MaxBodySize = DefaultMaxBody;
    // Runs once the final response's headers are in, before any body byte is read, for a 2xx
    // response without Location. Returning true abandons the request: the connection is dropped
    // and the body never read.
    std::function<bool(const THttpHeaders&)> OnHeaders;
    // Runs after each piece of body with the number of body bytes received so far.
    std::function<void(qint64 received)> OnProgress;
    // When set, a multipart/x-mixed-replace answer is read as a stream: each part's body is handed
    // here as soon as it is complete (MaxBodySize then caps each part, not the stream), and the
    // transfer goes on until the server ends it, a part returns false, or Cancelled says so.
    std::function<bool(const QByteArray& part)> OnPart;
    // Asked with each piece received and at least once a second while nothing comes; true ends
    // the transfer at once: a stream as Ok (its parts were handed on), a response as Aborted.
    std::function<bool()> Cancelled;

    // Closes the connection after the transfer instead of keeping it for the next one.
    bool ForbidReuse = false;

    // GET url; body is emptied first and receives the response body.
    THttpResult Get(const QString& url, QByteArray& body);

    // The same request in steps, for a caller that drives many transfers at once on one thread
    // (the fetch engine's multi handle). Begin empties body, prepares the handle and returns it
    // (a CURL*), or null when no request can be made (Finish then says why). The caller runs the
    // transfer and hands libcurl's result code to Finish, which unhooks the callbacks; body must
    // stay in place until then. Expired, asked now and then while the transfer runs, tells whether
    // it must end now (the read time-out or the image's deadline passed, Cancelled said so, the
    // process ends); Finish then reports why.
    void* Begin(const QString& url, QByteArray& body);
    bool Expired();
    THttpResult Finish(int curlCode);
    void* EasyHandle() const { return Handle; }

    // Whether a connection is kept open for the next Get.
    bool Connected() const;
    // Drops the kept connection (if any).
    void Close();

    // Process-wide: every transfer under way or started later ends at once with Aborted. Used at
    // exit; ResetAbort undoes it (tests).
    static void AbortAll();
    static void ResetAbort();
    static bool Aborting();

    // libcurl's global set-up; done on first use, thread-safe. GlobalCleanup only when no client
    // exists any more (the exit sequence).
    static void GlobalInit();
    static void GlobalCleanup();

private:
    void* Handle = nullptr;                       // CURL*
    std::unique_ptr<THttpTransferState> Transfer; // between Begin and Finish
    std::optional<THttpResult> Early;             // Begin could not start: the result Finish gives
};
