#include "core/net/HttpClient.h"

#include "core/Log.h"
#include "core/net/Multipart.h"
#include "core/rules/CamAddress.h"

#include <QLocale>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <curl/curl.h>
#include <exception>
#include <memory>
#include <mutex>

namespace {

// Whether the transfer reached a server (or the proxy): an address refused before any connection
// has no peer address.
bool ReachedPeer(CURL* curl)
{
    char* ip = nullptr;
    return curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip && *ip;
}
std::atomic<bool> abortAll{false};
} // namespace

// State of one transfer, reached from libcurl's callbacks.
struct THttpTransferState
{
    QByteArray* Body = nullptr;
    THttpClient* Client = nullptr;
    THttpHeaders Headers;
    bool HeadersDone = false;
    bool Conditional = false;             // the request carried validators: a 304 is an answer
    THttpOutcome Stop = THttpOutcome::Ok; // why a callback ended the transfer
    bool Stopped = false;
    // The read time-out: the time since the connection last brought something.
    CURL* Curl = nullptr;
    bool RequestSent = false;
    std::chrono::steady_clock::time_point LastActivity;
    std::chrono::milliseconds Silence{0};
    QString Error; // why a callback failed the transfer, when libcurl's code would not say
    bool TimeExpired = false;                 // the read time-out or the image's deadline ended it
    std::unique_ptr<TMultipartReader> Stream; // the answer is a stream of parts
    // The image under way (the response, or the stream's next part) began at ImageStart and must
    // be complete ImageTime later; zero: no limit.
    std::chrono::steady_clock::time_point ImageStart;
    std::chrono::milliseconds ImageTime{0};

    curl_slist* Extra = nullptr; // the request's own header lines

    // Responses that libcurl moves past: a redirect it follows, a sign-in round it answers.
    QString Url;          // as asked for
    bool SignIn = false;  // the address carries a user name
    bool Passing = false; // the response under way is one of those: its body is not the image
    qint64 PassedBytes = 0;
    bool Temporary = false; // a temporary redirect was followed: later moves are not the webcam's
    QString MovedTo;

    void Activity() { LastActivity = std::chrono::steady_clock::now(); }

    // Whether the transfer must end now: the process ends, the owner cancelled, or the image is
    // late. Sets Stop and the reason.
    bool MustStop()
    {
        if (abortAll.load()) {
            Stop = THttpOutcome::Aborted;
            Stopped = true;
            return true;
        }
        if (Client->Cancelled && Client->Cancelled()) {
            Stop = Stream ? THttpOutcome::Ok : THttpOutcome::Aborted; // the owner is done with it
            Error = QStringLiteral("cancelled");
            Stopped = true;
            return true;
        }
        if (ImageTime.count() > 0 && std::chrono::steady_clock::now() - ImageStart > ImageTime) {
            Error = QStringLiteral("image not complete within %1 ms").arg(ImageTime.count());
            Stop = THttpOutcome::Failed;
            TimeExpired = true;
            Stopped = true;
            return true;
        }
        return false;
    }
};

namespace {

using TTransfer = THttpTransferState;

std::mutex globalMutex;
bool globalReady = false;

// Whether the read time-out has passed; marks the transfer failed when it has.
bool SilenceOver(TTransfer* t)
{
    if (t->Silence.count() <= 0)
        return false;
    if (!t->RequestSent) {
        // The clock starts once the request is sent: connecting has libcurl's own time-out.
        curl_off_t sentAt = 0;
        if (curl_easy_getinfo(t->Curl, CURLINFO_PRETRANSFER_TIME_T, &sentAt) == CURLE_OK &&
            sentAt > 0) {
            t->RequestSent = true;
            t->Activity();
        }
        return false;
    }
    if (std::chrono::steady_clock::now() - t->LastActivity <= t->Silence)
        return false;
    t->Error = QStringLiteral("nothing received for %1 ms").arg(t->Silence.count());
    t->Stop = THttpOutcome::Failed;
    t->Stopped = true;
    t->TimeExpired = true;
    return true;
}

// The body of a response passed over (a redirect's, a 401's) is read to keep the connection, up to
// this much.
constexpr qint64 PassedBodyCap = 64 * 1024;

// The address a redirect from current (the address just asked for) leads to, with the user info of
// the webcam's own address when it stays on that host name.
QString RedirectTarget(const QString& current, const QByteArray& location, const QString& own)
{
    QUrl target = QUrl(current).resolved(QUrl(QString::fromUtf8(location)));
    target.setUserInfo(QString());
    const QUrl ownUrl(own);
    if (!ownUrl.userInfo().isEmpty() &&
        target.host().compare(ownUrl.host(), Qt::CaseInsensitive) == 0)
        target.setUserInfo(ownUrl.userInfo(QUrl::FullyEncoded), QUrl::TolerantMode);
    return target.toString(QUrl::FullyEncoded);
}

// Whether libcurl moves past the response whose headers just ended: a redirect that it follows, or
// a 401 that it may answer with the credentials of the address. Notes a permanent move.
bool PassedOver(TTransfer* t)
{
    const long status = t->Headers.Status;
    if (status >= 300 && status <= 399 && status != 304 && t->Headers.HasLocation) {
        if (t->Temporary)
            return true;
        if (status != 301 && status != 308) {
            t->Temporary = true;
            return true;
        }
        // libcurl's address of the request under way: the one that this redirect answers.
        const char* current = nullptr;
        if (curl_easy_getinfo(t->Curl, CURLINFO_EFFECTIVE_URL, &current) != CURLE_OK || !current)
            current = "";
        t->MovedTo = RedirectTarget(QString::fromUtf8(current), t->Headers.Location, t->Url);
        return true;
    }
    return status == 401 && t->SignIn;
}

bool StartsWithName(const QByteArray& line, const char* name)
{
    const qsizetype n = qsizetype(qstrlen(name));
    return line.size() > n && line[n] == ':' && qstrnicmp(line.constData(), name, n) == 0;
}

size_t HeaderCallback(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<TTransfer*>(user);
    const size_t length = size * count;
    t->Activity();
    // Header lines after the body (trailers of a chunked body) describe nothing we compare: the
    // image is known by the headers that came before it.
    if (t->HeadersDone)
        return length;
    const QByteArray line(data, qsizetype(length));
    if (line.startsWith("HTTP/"))
        t->Passing = false; // a new response, after one that was passed over
    if (ReadHttpHeaderLine(line, t->Headers))
        return length;
    // The blank line: the headers of this response are complete.
    if (t->Headers.Status >= 100 && t->Headers.Status < 200)
        return length; // interim response; the real one follows
    if (PassedOver(t)) {
        t->Passing = true;
        return length;
    }
    t->HeadersDone = true;
    // Not modified: no body follows, and libcurl ends the transfer with the connection kept.
    if (t->Headers.Status == 304 && t->Conditional && !t->Headers.HasLocation)
        return length;
    if (t->Headers.Status < 200 || t->Headers.Status > 299 || t->Headers.HasLocation) {
        t->Stop = THttpOutcome::BadStatus;
        t->Stopped = true;
        return 0;
    }
    bool abandon = false;
    if (t->Client->OnHeaders) {
        try {
            abandon = t->Client->OnHeaders(t->Headers);
        } catch (const std::exception& e) {
            qCInfo(lcHttp) << "headers hook failed, the body is read:" << e.what();
            abandon = false; // a failing test counts as "changed"
        } catch (...) {
            qCInfo(lcHttp) << "headers hook failed, the body is read";
            abandon = false;
        }
    }
    if (abandon) {
        t->Stop = THttpOutcome::Abandoned;
        t->Stopped = true;
        return 0;
    }
    if (t->Client->OnPart) {
        const QByteArray delimiter = StreamDelimiter(t->Headers.ContentType);
        if (!delimiter.isEmpty()) {
            t->Stream = std::make_unique<TMultipartReader>(delimiter, t->Client->MaxBodySize);
            return length;
        }
    }
    // Room for the announced body, within reason: the header is the server's word only.
    if (t->Headers.ContentLength > 0 && t->Headers.ContentLength <= t->Client->MaxBodySize)
        t->Body->reserve(qsizetype(std::min<qint64>(t->Headers.ContentLength, 8 << 20)));
    return length;
}

size_t WriteCallback(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<TTransfer*>(user);
    const size_t length = size * count;
    t->Activity();
    if (t->Passing) {
        // The page of a redirect or of a refused sign-in: not the image.
        t->PassedBytes += qint64(length);
        if (t->PassedBytes > PassedBodyCap) {
            t->Stop = THttpOutcome::BadStatus;
            t->Stopped = true;
            return 0;
        }
        return t->MustStop() ? 0 : length;
    }
    if (t->Stream) {
        const auto onPart = [t](const QByteArray& part) {
            t->ImageStart = std::chrono::steady_clock::now(); // the next part's time begins
            try {
                return t->Client->OnPart(part);
            } catch (const std::exception& e) {
                qCInfo(lcHttp) << "stream part hook failed:" << e.what();
            } catch (...) {
                qCInfo(lcHttp) << "stream part hook failed";
            }
            return true; // a failed delivery does not end the stream
        };
        if (!t->Stream->Feed(data, qsizetype(length), onPart) || abortAll.load()) {
            const QByteArray why = t->Stream->Error();
            t->Error = QStringLiteral("stream: %1").arg(QString::fromLatin1(why));
            t->Stop = abortAll.load()       ? THttpOutcome::Aborted
                      : why == "stopped"    ? THttpOutcome::Ok
                      : why.contains("cap") ? THttpOutcome::TooLarge
                                            : THttpOutcome::Failed;
            t->Stopped = true;
            return 0;
        }
        if (t->Stream->Ended()) {
            t->Stop = THttpOutcome::Ok;
            t->Stopped = true;
            return 0;
        }
        return t->MustStop() ? 0 : length;
    }
    if (t->Body->size() + qint64(length) > t->Client->MaxBodySize) {
        t->Error = QStringLiteral("body larger than %1 bytes").arg(t->Client->MaxBodySize);
        t->Stop = THttpOutcome::TooLarge;
        t->Stopped = true;
        return 0;
    }
    t->Body->append(data, qsizetype(length));
    if (t->Client->OnProgress) {
        // Nothing may leave a libcurl callback; a failed report does not fail the fetch.
        try {
            t->Client->OnProgress(t->Body->size());
        } catch (const std::exception& e) {
            qCInfo(lcHttp) << "progress hook failed:" << e.what();
        } catch (...) {
            qCInfo(lcHttp) << "progress hook failed";
        }
    }
    return t->MustStop() ? 0 : length;
}

int ProgressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* t = static_cast<TTransfer*>(user);
    if (t->MustStop())
        return 1;
    return SilenceOver(t) ? 1 : 0;
}

} // namespace

bool ReadHttpHeaderLine(const QByteArray& rawLine, THttpHeaders& headers)
{
    const QByteArray line = rawLine.trimmed();
    if (line.startsWith("HTTP/")) {
        // A new response begins (an interim 1xx may come first): forget the previous headers.
        headers = THttpHeaders();
        const qsizetype space = line.indexOf(' ');
        if (space > 0) {
            headers.Status = line.mid(space + 1, 3).toLong();
            headers.Reason = line.mid(space + 4).trimmed();
        }
        return true;
    }
    if (line.isEmpty())
        return false;
    const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
    if (StartsWithName(line, "Last-Modified")) {
        headers.LastModified = ParseHttpDate(value);
        headers.LastModifiedText = headers.LastModified.isValid() ? value : QByteArray();
    } else if (StartsWithName(line, "ETag"))
        headers.ETag = value;
    else if (StartsWithName(line, "Content-Type"))
        headers.ContentType = value;
    else if (StartsWithName(line, "Content-Length")) {
        bool ok = false;
        const qint64 contentLength = value.toLongLong(&ok);
        headers.ContentLength = ok && contentLength >= 0 ? contentLength : -1;
    } else if (StartsWithName(line, "Location")) {
        headers.HasLocation = true;
        headers.Location = value;
    }
    return true;
}

bool SameImage(const THttpHeaders& headers, const QDateTime& lastModified, qint64 contentLength)
{
    if (!headers.LastModified.isValid() && headers.ContentLength < 0)
        return false;
    return SameHttpDate(headers.LastModified, lastModified) &&
           headers.ContentLength == contentLength;
}

QString THttpResult::Cause() const
{
    switch (Outcome) {
    case THttpOutcome::Ok:
        return QStringLiteral("none");
    case THttpOutcome::Failed:
        return Error.isEmpty() ? QStringLiteral("transfer failed") : Error;
    case THttpOutcome::BadStatus:
        if (Headers.Status == 0)
            return QStringLiteral("no HTTP response");
        if (Headers.HasLocation || (Headers.Status >= 300 && Headers.Status < 400))
            return QStringLiteral("redirect (status %1), not followed").arg(Headers.Status);
        return QStringLiteral("status %1").arg(Headers.Status);
    case THttpOutcome::Abandoned:
        return QStringLiteral("unchanged image, body not read");
    case THttpOutcome::NotModified:
        return QStringLiteral("not modified (304)");
    case THttpOutcome::TooLarge:
        return Error.isEmpty() ? QStringLiteral("body too large") : Error;
    case THttpOutcome::Aborted:
        return Error.isEmpty() ? QStringLiteral("aborted at exit") : Error;
    }
    return QStringLiteral("unknown");
}

bool SameHttpDate(const QDateTime& a, const QDateTime& b)
{
    if (a.isValid() != b.isValid())
        return false;
    return !a.isValid() || a.toSecsSinceEpoch() == b.toSecsSinceEpoch();
}

QDateTime ParseHttpDate(const QByteArray& text)
{
    const QByteArray t = text.trimmed();
    if (t.isEmpty())
        return {};
    THttpClient::GlobalInit();
    const time_t seconds = curl_getdate(t.constData(), nullptr);
    if (seconds == -1)
        return {};
    return QDateTime::fromSecsSinceEpoch(qint64(seconds)).toLocalTime();
}

QByteArray FormatHttpDate(const QDateTime& date)
{
    if (!date.isValid())
        return {};
    return QLocale::c()
        .toString(date.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

void THttpClient::GlobalInit()
{
    std::lock_guard lock(globalMutex);
    if (!globalReady) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        globalReady = true;
    }
}

void THttpClient::GlobalCleanup()
{
    std::lock_guard lock(globalMutex);
    if (globalReady) {
        curl_global_cleanup();
        globalReady = false;
    }
}

void THttpClient::AbortAll()
{
    abortAll.store(true);
}
void THttpClient::ResetAbort()
{
    abortAll.store(false);
}
bool THttpClient::Aborting()
{
    return abortAll.load();
}

THttpClient::THttpClient()
{
    GlobalInit();
    Handle = curl_easy_init();
}

THttpClient::~THttpClient()
{
    if (Handle)
        curl_easy_cleanup(static_cast<CURL*>(Handle));
}

bool THttpClient::Connected() const
{
    if (!Handle)
        return false;
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(static_cast<CURL*>(Handle), CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK)
        return false;
    return socket != CURL_SOCKET_BAD;
}

void THttpClient::Close()
{
    // An easy handle keeps its connections in a cache of its own; a fresh handle has none.
    if (Handle)
        curl_easy_cleanup(static_cast<CURL*>(Handle));
    Handle = curl_easy_init();
}

THttpResult THttpClient::Get(const QString& url, QByteArray& body)
{
    void* curl = Begin(url, body);
    const CURLcode code = curl ? curl_easy_perform(static_cast<CURL*>(curl)) : CURLE_OK;
    return Finish(int(code));
}

bool THttpClient::Expired()
{
    return Transfer && !Transfer->Stopped && (Transfer->MustStop() || SilenceOver(Transfer.get()));
}

void* THttpClient::Begin(const QString& url, QByteArray& body)
{
    body.clear();
    Transfer.reset();
    Early.reset();
    if (!Handle)
        Handle = curl_easy_init();
    auto* curl = static_cast<CURL*>(Handle);
    if (!curl) {
        Early.emplace();
        Early->Error = QStringLiteral("no HTTP handle");
        return nullptr;
    }
    if (abortAll.load()) {
        Early.emplace();
        Early->Outcome = THttpOutcome::Aborted;
        return nullptr;
    }

    Transfer = std::make_unique<TTransfer>();
    TTransfer& transfer = *Transfer;
    transfer.Body = &body;
    transfer.Client = this;
    transfer.Curl = curl;
    transfer.Silence = std::chrono::milliseconds(ReadTimeoutMs > 0 ? ReadTimeoutMs : 0);
    transfer.Activity();
    transfer.ImageStart = transfer.LastActivity;
    transfer.ImageTime = std::chrono::milliseconds(ImageTimeoutMs > 0 ? ImageTimeoutMs : 0);
    transfer.Conditional = !Validators.Empty();
    transfer.Url = url;
    transfer.SignIn = HasCredentials(url);

    // Settings that fail to apply are ignored: the request is still made.
    const QByteArray urlBytes = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, long(MaxRedirects));
    // The credentials of the address go to its own scheme, host and port only: libcurl leaves
    // them out of a redirect elsewhere as long as this stays off.
    curl_easy_setopt(curl, CURLOPT_UNRESTRICTED_AUTH, 0L);
    // Offered as the webcam asks for them; Digest never lets the password travel.
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, long(ReceiveBuffer));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     long(ConnectTimeoutMs > 0 ? ConnectTimeoutMs : 0));
    // The read time-out is kept by the progress callback (below); libcurl's low-speed limit
    // averages over several seconds and would notice a silence late.

    const QByteArray referer = Referer.toUtf8();
    curl_easy_setopt(curl, CURLOPT_REFERER, referer.isEmpty() ? nullptr : referer.constData());

    // Proxy: our own settings only, never the environment's.
    const QByteArray proxyHost = Proxy.Host.trimmed().toUtf8();
    const QByteArray proxyUser = Proxy.User.toUtf8();
    const QByteArray proxyPass = Proxy.Pass.toUtf8();
    curl_easy_setopt(curl, CURLOPT_PROXY, proxyHost.constData());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    curl_easy_setopt(curl, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
    curl_easy_setopt(curl, CURLOPT_PROXYPORT, proxyHost.isEmpty() ? 0L : long(Proxy.Port));
    if (!proxyHost.isEmpty() && !proxyUser.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxyUser.constData());
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, proxyPass.constData());
        curl_easy_setopt(curl, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
    } else {
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, nullptr);
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, nullptr);
    }
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    curl_slist* extra = nullptr;
    if (!Validators.LastModified.isEmpty())
        extra =
            curl_slist_append(extra, ("If-Modified-Since: " + Validators.LastModified).constData());
    if (!Validators.ETag.isEmpty())
        extra = curl_slist_append(extra, ("If-None-Match: " + Validators.ETag).constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, extra);
    transfer.Extra = extra;
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, ForbidReuse ? 1L : 0L);

    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HeaderCallback);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, Transfer.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteCallback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, Transfer.get());
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &ProgressCallback);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, Transfer.get());

    return curl;
}

THttpResult THttpClient::Finish(int curlCode)
{
    if (!Transfer) {
        THttpResult early = Early.value_or(THttpResult());
        Early.reset();
        return early;
    }
    const auto code = static_cast<CURLcode>(curlCode);
    const std::unique_ptr<TTransfer> done = std::move(Transfer);
    TTransfer& transfer = *done;
    auto* curl = static_cast<CURL*>(Handle);
    QByteArray& body = *transfer.Body;
    THttpResult result;

    // The callbacks point at the transfer's state: unhook them before it goes.
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(transfer.Extra);

    result.Headers = transfer.Headers;
    result.MovedTo = transfer.MovedTo;
    if (transfer.Stream)
        result.Parts = transfer.Stream->Parts();
    if (transfer.Stopped) {
        result.Outcome = transfer.Stop;
        result.Error = transfer.Error;
    } else if (code == CURLE_UNSUPPORTED_PROTOCOL && ReachedPeer(static_cast<CURL*>(curl))) {
        // The address was http or https and a server answered, but with no HTTP status line
        // (libcurl refuses such an answer as the long-gone HTTP/0.9): no HTTP answer at all,
        // not an address of another kind.
        result.Outcome = THttpOutcome::BadStatus;
        result.Headers.Status = 0;
    } else if (code != CURLE_OK) {
        result.Outcome = THttpOutcome::Failed;
        result.Error = QString::fromUtf8(curl_easy_strerror(code));
    } else if (transfer.HeadersDone && transfer.Headers.Status == 304 && transfer.Conditional &&
               !transfer.Headers.HasLocation) {
        result.Outcome = THttpOutcome::NotModified;
    } else if (!transfer.HeadersDone || transfer.Headers.Status < 200 ||
               transfer.Headers.Status > 299) {
        result.Outcome = THttpOutcome::BadStatus; // e.g. a proxy's own error page
    } else {
        result.Outcome = THttpOutcome::Ok;
    }
    if (result.Outcome == THttpOutcome::Failed) {
        switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            result.Net = TNetError::NameNotFound;
            break;
        case CURLE_COULDNT_CONNECT:
            result.Net = TNetError::Refused;
            break;
        case CURLE_OPERATION_TIMEDOUT:
            result.Net = TNetError::TimedOut;
            break;
        case CURLE_TOO_MANY_REDIRECTS:
            result.Net = TNetError::RedirectLoop;
            break;
        case CURLE_PEER_FAILED_VERIFICATION: {
            result.Net = TNetError::Certificate;
            long verify = 0;
            if (curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify) == CURLE_OK)
                result.CertificateError = verify;
            result.Error += QStringLiteral(" (X509 verification result %1)").arg(verify);
            break;
        }
        default:
            result.Net = transfer.TimeExpired ? TNetError::TimedOut : TNetError::Other;
        }
    }
    if (!result.Ok())
        body.clear();
    return result;
}
