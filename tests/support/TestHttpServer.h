#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 for the fetch tests: one thread per connection, keep-alive,
// and responses that misbehave on purpose. It counts connections, requests and body bytes sent.
struct TTestRequest
{
    std::string Method;
    std::string Target; // as sent: a path, or an absolute URI when the client talks to a proxy
    std::map<std::string, std::string> Headers; // names in lower case
    int Connection = 0;                         // 1-based number of the connection it came on
    int Number = 0;                             // 1-based number of the request
};

struct TTestResponse
{
    enum TMode
    {
        Normal,
        Chunked,           // body in chunked encoding
        Endless,           // chunked body that never ends (until the client drops it)
        StallAfterHeaders, // headers and StallAfter bytes of body, then silence
        Trickle,           // body in TrickleChunk-byte pieces, TrickleDelayMs apart (the
                           // server notices at once when the client drops the connection)
        Close,             // no Content-Length: body, then the connection closes
        // multipart/x-mixed-replace, boundary "frame": Parts one after another, PartDelayMs
        // apart, each with a Content-Length when PartLengths; then the closing delimiter and the
        // connection closes. With StallAfter > 0, half of part StallAfter + 1 and then silence.
        Stream,
        NoHead, // Body alone, no status line or headers, then the connection closes
    };
    int Status = 200;
    std::string Reason = "X";                                  // the words after the status code
    std::vector<std::pair<std::string, std::string>> Headers;  // besides Content-Length
    std::vector<std::pair<std::string, std::string>> Trailers; // after a Chunked body
    std::string Body;
    TMode Mode = Normal;
    int StallAfter = 0;
    std::vector<std::string> Parts;
    bool PartLengths = true;
    int PartDelayMs = 0;
    int TrickleChunk = 256;
    int TrickleDelayMs = 10;
    // After the headers, wait this long for the client to drop the connection; if it does, the
    // body is never sent (counted in Withheld).
    int HeaderGapMs = 0;
};

class TTestHttpServer
{
public:
    using THandler = std::function<TTestResponse(const TTestRequest&)>;

    explicit TTestHttpServer(THandler handler);
    ~TTestHttpServer();

    int Port() const { return ListenPort; }
    QString Url(const QString& path = QStringLiteral("/cam.jpg")) const;

    int Connections() const { return ConnectionCount.load(); }
    int Requests() const { return RequestCount.load(); }
    long long BodyBytes() const { return BodyByteCount.load(); }
    int Withheld() const { return WithheldCount.load(); }
    // Connections that neither side has closed yet.
    int OpenConnections() const;
    std::vector<TTestRequest> Log() const;

private:
    void AcceptLoop();
    void Serve(int fd, int connection);
    bool SendAll(int fd, const char* data, size_t length, bool body);

    THandler Handler;
    int ListenFd = -1;
    int ListenPort = 0;
    std::atomic<bool> Stopping{false};
    std::atomic<int> ConnectionCount{0};
    std::atomic<int> RequestCount{0};
    std::atomic<long long> BodyByteCount{0};
    std::atomic<int> WithheldCount{0};
    mutable std::mutex Mutex;
    std::vector<TTestRequest> Requests_;
    std::vector<int> OpenFds;
    std::vector<std::thread> Threads;
    std::thread Acceptor;
};

// A listener on 127.0.0.1 that never accepts, its queue full: connection attempts to Url() get no
// answer at all, as from a host that drops packets.
struct TBlackHoleListener
{
    TBlackHoleListener();
    ~TBlackHoleListener();
    QString Url() const;
    std::vector<int> Fds; // the listener first, then the connections that fill its queue
};

// Sign-in for handlers: a 401 that asks for Basic or Digest (realm "cam", MD5, qop "auth"), and
// whether a request's Authorization header answers it with user and password. A Digest answer is
// checked as a server does: its response hash is computed again from the password.
TTestResponse SignInChallenge(bool digest);
bool SignedIn(const TTestRequest& request, bool digest, const std::string& user,
              const std::string& password);

// A JPEG-like body of the given size (content does not matter to the fetch layer).
std::string MakeBody(size_t size, char seed = 'a');
// A body sent chunk bytes every delayMs. By default 5,000 bytes a byte every 20 ms: 100 s in all,
// yet never silent for long enough to end a read by its time-out.
TTestResponse TrickleResponse(std::string body = MakeBody(5000), int chunk = 1, int delayMs = 20);
// A response whose head and the first stallAfter bytes of body come, then nothing more.
TTestResponse StallResponse(std::string body, int stallAfter);
// Last-Modified text for the given second since the epoch.
std::string HttpDate(long long secondsSinceEpoch);
