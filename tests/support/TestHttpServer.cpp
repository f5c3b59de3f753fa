#include "TestHttpServer.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRegularExpression>
#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TTestHttpServer::TTestHttpServer(THandler handler) : Handler(std::move(handler))
{
    ListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(ListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(ListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(ListenFd, 16);
    socklen_t length = sizeof address;
    ::getsockname(ListenFd, reinterpret_cast<sockaddr*>(&address), &length);
    ListenPort = ntohs(address.sin_port);
    Acceptor = std::thread([this] { AcceptLoop(); });
}

TTestHttpServer::~TTestHttpServer()
{
    Stopping.store(true);
    ::shutdown(ListenFd, SHUT_RDWR);
    Acceptor.join();
    ::close(ListenFd);
    {
        std::lock_guard lock(Mutex);
        for (int fd : OpenFds)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : Threads)
        t.join();
}

QString TTestHttpServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(ListenPort).arg(path);
}

std::vector<TTestRequest> TTestHttpServer::Log() const
{
    std::lock_guard lock(Mutex);
    return Requests_;
}

int TTestHttpServer::OpenConnections() const
{
    std::lock_guard lock(Mutex);
    return int(OpenFds.size());
}

void TTestHttpServer::AcceptLoop()
{
    for (;;) {
        const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 || Stopping.load()) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        const int connection = ++ConnectionCount;
        std::lock_guard lock(Mutex);
        OpenFds.push_back(fd);
        Threads.emplace_back([this, fd, connection] { Serve(fd, connection); });
    }
}

bool TTestHttpServer::SendAll(int fd, const char* data, size_t length, bool body)
{
    while (length > 0) {
        const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        if (body)
            BodyByteCount += n;
        data += n;
        length -= size_t(n);
    }
    return true;
}

TBlackHoleListener::TBlackHoleListener()
{
    Fds.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(Fds[0], reinterpret_cast<sockaddr*>(&address), length);
    ::listen(Fds[0], 0);
    ::getsockname(Fds[0], reinterpret_cast<sockaddr*>(&address), &length);
    for (int i = 0; i < 4; ++i) { // once the queue is full the kernel drops every further SYN
        Fds.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        ::connect(Fds.back(), reinterpret_cast<sockaddr*>(&address), length);
    }
}

TBlackHoleListener::~TBlackHoleListener()
{
    for (int fd : Fds)
        ::close(fd);
}

QString TBlackHoleListener::Url() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(Fds[0], reinterpret_cast<sockaddr*>(&address), &length);
    return QStringLiteral("http://127.0.0.1:%1/cam.jpg").arg(ntohs(address.sin_port));
}

namespace {

bool ClientDropped(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0)
        return false;
    char c;
    return ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

void TTestHttpServer::Serve(int fd, int connection)
{
    std::string buffer;
    char chunk[4096];
    for (;;) {
        size_t end;
        bool open = true;
        while (open && (end = buffer.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            open = n > 0;
            if (open)
                buffer.append(chunk, size_t(n));
        }
        if (!open)
            break;
        TTestRequest request;
        {
            const std::string head = buffer.substr(0, end);
            buffer.erase(0, end + 4);
            size_t lineEnd = head.find("\r\n");
            const std::string first = head.substr(0, lineEnd);
            const size_t s1 = first.find(' ');
            const size_t s2 = first.find(' ', s1 + 1);
            request.Method = first.substr(0, s1);
            request.Target = first.substr(s1 + 1, s2 - s1 - 1);
            size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
            while (pos < head.size()) {
                size_t next = head.find("\r\n", pos);
                if (next == std::string::npos)
                    next = head.size();
                const std::string line = head.substr(pos, next - pos);
                const size_t colon = line.find(':');
                if (colon != std::string::npos) {
                    size_t v = colon + 1;
                    while (v < line.size() && line[v] == ' ')
                        ++v;
                    request.Headers[Lower(line.substr(0, colon))] = line.substr(v);
                }
                pos = next + 2;
            }
            request.Connection = connection;
            request.Number = ++RequestCount;
            std::lock_guard lock(Mutex);
            Requests_.push_back(request);
        }

        const TTestResponse r = Handler(request);
        if (r.Mode == TTestResponse::NoHead) {
            SendAll(fd, r.Body.data(), r.Body.size(), true);
            break;
        }
        std::string head = "HTTP/1.1 " + std::to_string(r.Status) + " " + r.Reason + "\r\n";
        for (const auto& [name, value] : r.Headers)
            head += name + ": " + value + "\r\n";
        const bool chunked = r.Mode == TTestResponse::Chunked || r.Mode == TTestResponse::Endless;
        if (chunked)
            head += "Transfer-Encoding: chunked\r\n";
        else if (r.Mode == TTestResponse::Close)
            head += "Connection: close\r\n";
        else if (r.Mode == TTestResponse::Stream)
            head += "Content-Type: multipart/x-mixed-replace; boundary=frame\r\n"
                    "Connection: close\r\n";
        else
            head += "Content-Length: " + std::to_string(r.Body.size()) + "\r\n";
        head += "\r\n";
        if (!SendAll(fd, head.data(), head.size(), false))
            break;
        if (r.HeaderGapMs > 0 && ClientDropped(fd, r.HeaderGapMs)) {
            ++WithheldCount;
            break;
        }
        bool ok = true;
        switch (r.Mode) {
        case TTestResponse::NoHead: // answered above
        case TTestResponse::Normal:
        case TTestResponse::Close:
            ok = SendAll(fd, r.Body.data(), r.Body.size(), true);
            break;
        case TTestResponse::Chunked: {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", r.Body.size());
            std::string tail = "\r\n0\r\n";
            for (const auto& [name, value] : r.Trailers)
                tail += name + ": " + value + "\r\n";
            tail += "\r\n";
            ok = SendAll(fd, size, std::strlen(size), false) &&
                 SendAll(fd, r.Body.data(), r.Body.size(), true) &&
                 SendAll(fd, tail.data(), tail.size(), false);
            break;
        }
        case TTestResponse::Endless: {
            const std::string piece(65536, 'x');
            while (ok && !Stopping.load()) {
                ok = SendAll(fd, "10000\r\n", 7, false) &&
                     SendAll(fd, piece.data(), piece.size(), true) && SendAll(fd, "\r\n", 2, false);
            }
            ok = false;
            break;
        }
        case TTestResponse::StallAfterHeaders:
            SendAll(fd, r.Body.data(), std::min(r.Body.size(), size_t(r.StallAfter)), true);
            while (!Stopping.load() && !ClientDropped(fd, 50)) {
            }
            ok = false;
            break;
        case TTestResponse::Stream:
            for (size_t i = 0; ok && i < r.Parts.size(); ++i) {
                if (i > 0 && r.PartDelayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(r.PartDelayMs));
                std::string part = "--frame\r\nContent-Type: image/jpeg\r\n";
                if (r.PartLengths)
                    part += "Content-Length: " + std::to_string(r.Parts[i].size()) + "\r\n";
                part += "\r\n";
                const bool stall = r.StallAfter > 0 && int(i) == r.StallAfter;
                const size_t sent = stall ? r.Parts[i].size() / 2 : r.Parts[i].size();
                ok = SendAll(fd, part.data(), part.size(), false) &&
                     SendAll(fd, r.Parts[i].data(), sent, true) &&
                     (stall || SendAll(fd, "\r\n", 2, false));
                if (stall) {
                    while (!Stopping.load() && !ClientDropped(fd, 50)) {
                    }
                    ok = false;
                }
            }
            if (ok)
                SendAll(fd, "--frame--\r\n", 11, false);
            ok = false; // the end of the stream is the end of the connection
            break;
        case TTestResponse::Trickle:
            for (size_t pos = 0; ok && pos < r.Body.size(); pos += size_t(r.TrickleChunk)) {
                if (pos > 0 && ClientDropped(fd, r.TrickleDelayMs)) {
                    ok = false;
                    break;
                }
                ok = SendAll(fd, r.Body.data() + pos,
                             std::min(size_t(r.TrickleChunk), r.Body.size() - pos), true);
            }
            break;
        }
        if (!ok || r.Mode == TTestResponse::Close)
            break;
    }
    ::shutdown(fd, SHUT_RDWR);
    std::lock_guard lock(Mutex);
    // The descriptor is closed by this thread only; the destructor's shutdown targets live ones.
    OpenFds.erase(std::remove(OpenFds.begin(), OpenFds.end(), fd), OpenFds.end());
    ::close(fd);
}

std::string MakeBody(size_t size, char seed)
{
    std::string body(size, seed);
    for (size_t i = 0; i < size; ++i)
        body[i] = char(seed + int(i % 23));
    return body;
}

std::string HttpDate(long long secondsSinceEpoch)
{
    const time_t t = time_t(secondsSinceEpoch);
    tm gmt{};
    gmtime_r(&t, &gmt);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &gmt);
    return text;
}

TTestResponse SignInChallenge(bool digest)
{
    TTestResponse r;
    r.Status = 401;
    r.Reason = "Unauthorized";
    r.Headers = {{"WWW-Authenticate", digest
                                          ? "Digest realm=\"cam\", qop=\"auth\", nonce=\"5f3a9c\""
                                          : "Basic realm=\"cam\""}};
    return r;
}

bool SignedIn(const TTestRequest& request, bool digest, const std::string& user,
              const std::string& password)
{
    const auto header = request.Headers.find("authorization");
    const QString value =
        QString::fromStdString(header == request.Headers.end() ? "" : header->second);
    const QString name = QString::fromStdString(user);
    const QString secret = QString::fromStdString(password);
    if (!digest)
        return value == "Basic " + (name + ':' + secret).toUtf8().toBase64();
    std::map<QString, QString> f; // the name="value" fields of the answer
    static const QRegularExpression field(QStringLiteral("(\\w+)=\"?([^\",]*)\"?"));
    for (const QRegularExpressionMatch& match : field.globalMatch(value))
        f[match.captured(1)] = match.captured(2);
    const auto md5 = [](const QString& text) {
        return QString::fromLatin1(
            QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
    };
    const QString uri = QString::fromStdString(request.Target);
    const QString ha2 = md5(QString::fromStdString(request.Method) + ':' + uri);
    return value.startsWith("Digest ") && f["username"] == name && f["uri"] == uri &&
           f["qop"] == "auth" &&
           f["response"] == md5(md5(name + ":cam:" + secret) + ":5f3a9c:" + f["nc"] + ':' +
                                f["cnonce"] + ":auth:" + ha2);
}

TTestResponse TrickleResponse(std::string body, int chunk, int delayMs)
{
    TTestResponse r;
    r.Body = std::move(body);
    r.Mode = TTestResponse::Trickle;
    r.TrickleChunk = chunk;
    r.TrickleDelayMs = delayMs;
    return r;
}

TTestResponse StallResponse(std::string body, int stallAfter)
{
    TTestResponse r;
    r.Body = std::move(body);
    r.Mode = TTestResponse::StallAfterHeaders;
    r.StallAfter = stallAfter;
    return r;
}
