#include "DemoServer.h"

#include "DemoFrames.h"
#include "core/image/JpegCodec.h"

#include <QHostAddress>
#include <QLocale>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {

QByteArray HttpDate(const QDateTime& time)
{
    return QLocale::c()
        .toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

QByteArray XmlAttribute(const QString& text)
{
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '&')
            out += "&amp;";
        else if (u == '"')
            out += "&#34;";
        else if (u == '<')
            out += "&lt;";
        else if (u == '>')
            out += "&gt;";
        else if (u < 32 || u > 126)
            out += "&#" + QByteArray::number(int(u)) + ';';
        else
            out += char(u);
    }
    return out;
}

} // namespace

TDemoServer::TDemoServer(QObject* parent)
    : QObject(parent), Started(QDateTime::currentDateTimeUtc())
{
    CamList = {
        {QStringLiteral("Clock"), QStringLiteral("/clock.jpg"), TDemoCam::Clock, 640, 480, 0},
        {QStringLiteral("Still"), QStringLiteral("/still.jpg"), TDemoCam::Still, 640, 480, 0},
        {QStringLiteral("Slow"), QStringLiteral("/slow.jpg"), TDemoCam::Slow, 640, 480, 60},
        {QStringLiteral("No dates"), QStringLiteral("/bare.jpg"), TDemoCam::Bare, 480, 360, 120},
        {QStringLiteral("Missing (404)"), QStringLiteral("/missing.jpg"), TDemoCam::Missing, 0, 0,
         0},
        {QStringLiteral("Moved (302)"), QStringLiteral("/moved.jpg"), TDemoCam::Moved, 0, 0, 0},
        {QStringLiteral("Full HD"), QStringLiteral("/hd.jpg"), TDemoCam::Clock, 1920, 1080, 180},
        {QStringLiteral("Stream"), QStringLiteral("/stream.mjpg"), TDemoCam::Stream, 1280, 720,
         240},
    };
    StillJpeg = JpegCodec::Encode(DrawStillFrame(640, 480), 90);
    Clock.start();
    connect(&Server, &QTcpServer::newConnection, this, &TDemoServer::Accept);
}

void TDemoServer::AddSoakCams()
{
    CamList += {
        {QStringLiteral("Changing size"), QStringLiteral("/resize.jpg"), TDemoCam::Resize, 0, 0,
         300},
        {QStringLiteral("Stalls"), QStringLiteral("/stall.jpg"), TDemoCam::Stall, 640, 480, 30},
        {QStringLiteral("Garbage"), QStringLiteral("/garbage.jpg"), TDemoCam::Garbage, 640, 480,
         90},
        {QStringLiteral("Vanishing"), QStringLiteral("/vanish.jpg"), TDemoCam::Vanish, 640, 480,
         150},
    };
}

bool TDemoServer::Vanished(qint64 msSinceStart) const
{
    const qint64 period = std::max(1, VanishMs);
    return (msSinceStart / period) % 2 == 1;
}

bool TDemoServer::Listen(quint16 port)
{
    return Server.listen(QHostAddress::LocalHost, port);
}

QByteArray TDemoServer::CalFile() const
{
    QByteArray out =
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Category Name=\"Demo\">\r\n";
    for (const TDemoCam& cam : CamList) {
        const QString url = QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(cam.Path);
        out += " <Webcam Name=\"" + XmlAttribute(cam.Name) + "\" Url=\"" + XmlAttribute(url) +
               "\" Referer=\"\" Refresh=\"5\" Homepage=\"\" Email=\"\"/>\r\n";
    }
    out += "</Category>\r\n";
    return out;
}

void TDemoServer::Accept()
{
    while (QTcpSocket* socket = Server.nextPendingConnection()) {
        ++Connections;
        Buffers.insert(socket, {});
        Busy.insert(socket, false);
        // Idle keep-alive connections are dropped after a minute.
        auto* idle = new QTimer(socket);
        idle->setObjectName(QStringLiteral("idle"));
        idle->setSingleShot(true);
        idle->setInterval(60000);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::disconnectFromHost);
        idle->start();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle] {
            idle->start();
            Read(socket);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            Buffers.remove(socket);
            Busy.remove(socket);
            socket->deleteLater();
        });
    }
}

void TDemoServer::Read(QTcpSocket* socket)
{
    QByteArray& received = Buffers[socket];
    received += socket->readAll();
    if (received.size() > 64 * 1024) { // no request of ours is that large
        socket->abort();
        return;
    }
    // One request at a time per connection; the next waits until the answer has gone out. An
    // answer may end the connection, and with it the buffer.
    while (Buffers.contains(socket) && !Busy.value(socket)) {
        QByteArray& buffer = Buffers[socket];
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        bool keepAlive = lines.value(0).trimmed().endsWith("HTTP/1.1");
        TValidators validators;
        for (const QByteArray& line : lines) {
            const QByteArray l = line.trimmed().toLower();
            const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
            if (l.startsWith("connection:"))
                keepAlive = !l.contains("close") && (keepAlive || l.contains("keep-alive"));
            else if (l.startsWith("if-modified-since:"))
                validators.ModifiedSince = value;
            else if (l.startsWith("if-none-match:"))
                validators.NoneMatch = value;
        }
        ++Requests;
        const QByteArray target = first.value(1);
        if (!target.startsWith("/stats")) {
            TTargetCount& count = Targets[target];
            ++count.Requests;
            count.LastMs = Clock.elapsed();
        }
        Answer(socket, first.value(0), first.value(1), keepAlive, validators);
    }
}

QByteArray TDemoServer::Frame(const TDemoCam& cam, const QDateTime& second)
{
    const qint64 key = second.toSecsSinceEpoch();
    auto it = FrameCache.find(cam.Path);
    if (it != FrameCache.end() && it->first == key)
        return it->second;
    int width = cam.Width;
    int height = cam.Height;
    if (cam.Kind == TDemoCam::Resize) {
        // A new size every second, landscape and portrait.
        static constexpr int Sizes[][2] = {{320, 240}, {800, 600}, {160, 120}, {240, 320}};
        const auto& size = Sizes[key % 4];
        width = size[0];
        height = size[1];
    }
    const QByteArray jpeg =
        JpegCodec::Encode(DrawClockFrame(width, height, second.toLocalTime().time(), cam.Hue), 90);
    FrameCache.insert(cam.Path, {key, jpeg});
    return jpeg;
}

void TDemoServer::Answer(QTcpSocket* socket, const QByteArray& method, const QByteArray& target,
                         bool keepAlive, const TValidators& validators)
{
    const QDateTime now =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    QByteArray status = "200 OK";
    QByteArray headers;
    QByteArray body;
    bool trickle = false;
    bool lengthKnown = true;
    bool image = false; // only image bodies count in the statistics
    const QString path = QString::fromLatin1(target.split('?').value(0));

    const TDemoCam* cam = nullptr;
    for (const TDemoCam& c : CamList)
        if (c.Path == path)
            cam = &c;

    if (method != "GET" && method != "HEAD") {
        status = "405 Method Not Allowed";
        body = "Only GET and HEAD.\n";
        headers += "Allow: GET, HEAD\r\nContent-Type: text/plain\r\n";
    } else if (path == QLatin1String("/stats")) {
        body = StatsText();
        headers += "Content-Type: text/plain\r\n";
    } else if (path == QLatin1String("/") || path == QLatin1String("/webcams.cal")) {
        body = CalFile();
        headers += "Content-Type: application/xml\r\n";
    } else if (!cam || cam->Kind == TDemoCam::Missing) {
        status = "404 Not Found";
        body = "No webcam here.\n";
        headers += "Content-Type: text/plain\r\n";
    } else if (cam->Kind == TDemoCam::Moved) {
        status = "302 Found";
        body = "Moved to /still.jpg\n";
        headers += "Location: /still.jpg\r\nContent-Type: text/plain\r\n";
    } else if (cam->Kind == TDemoCam::Stream && method == "GET") {
        StartStream(socket, *cam);
        return;
    } else if (cam->Kind == TDemoCam::Vanish && Vanished(Clock.elapsed())) {
        // Gone: the connection is reset without a word, once this request has been taken.
        Busy[socket] = true;
        QTimer::singleShot(0, socket, [socket] { socket->abort(); });
        return;
    } else if (cam->Kind == TDemoCam::Stall && method == "GET" &&
               AnswerStall(socket, Frame(*cam, now))) {
        return;
    } else if (cam->Kind == TDemoCam::Garbage && method == "GET") {
        AnswerGarbage(socket, Frame(*cam, now));
        return;
    } else {
        headers += "Content-Type: image/jpeg\r\n";
        image = true;
        switch (cam->Kind) {
        case TDemoCam::Still:
            body = StillJpeg;
            headers += "Last-Modified: " + HttpDate(Started) + "\r\nETag: \"still-" +
                       QByteArray::number(Started.toSecsSinceEpoch()) + "\"\r\n";
            break;
        case TDemoCam::Bare:
            body = Frame(*cam, now);
            lengthKnown = false;
            break;
        case TDemoCam::Slow:
            trickle = true;
            [[fallthrough]];
        default:
            body = Frame(*cam, now);
            headers += "Last-Modified: " + HttpDate(now) + "\r\n";
            break;
        }
    }
    // A conditional request for the image the client holds: 304, no body. The ETag decides when
    // the client sent one; otherwise the date, which only the same text matches.
    if (image && status == "200 OK" &&
        (!validators.NoneMatch.isEmpty() || !validators.ModifiedSince.isEmpty())) {
        const qsizetype tag = headers.indexOf("ETag: ");
        const QByteArray etag =
            tag < 0 ? QByteArray() : headers.mid(tag + 6, headers.indexOf('\r', tag) - tag - 6);
        const qsizetype date = headers.indexOf("Last-Modified: ");
        const QByteArray lastModified =
            date < 0 ? QByteArray()
                     : headers.mid(date + 15, headers.indexOf('\r', date) - date - 15);
        const bool current =
            !validators.NoneMatch.isEmpty()
                ? validators.NoneMatch == etag && !etag.isEmpty()
                : validators.ModifiedSince == lastModified && !lastModified.isEmpty();
        if (current) {
            ++NotModified;
            QByteArray response = "HTTP/1.1 304 Not Modified\r\nServer: democam\r\nDate: " +
                                  HttpDate(QDateTime::currentDateTimeUtc()) + "\r\n";
            if (!etag.isEmpty())
                response += "ETag: " + etag + "\r\n";
            response += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
            socket->write(response);
            if (!keepAlive)
                socket->disconnectFromHost();
            return;
        }
    }
    if (!lengthKnown)
        keepAlive = false; // the end of the body is the end of the connection
    QByteArray response = "HTTP/1.1 " + status + "\r\nServer: democam\r\nDate: " +
                          HttpDate(QDateTime::currentDateTimeUtc()) + "\r\n" + headers;
    if (lengthKnown)
        response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    response += "\r\n";
    socket->write(response);
    if (method == "HEAD")
        body.clear();

    Busy[socket] = true;
    if (HeaderGapMs > 0 && !body.isEmpty()) {
        socket->flush();
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(HeaderGapMs, this, [this, guard, body, trickle, keepAlive, image] {
            // A client that dropped the connection after the headers gets no body.
            if (!guard || guard->state() != QAbstractSocket::ConnectedState) {
                Withheld += image ? 1 : 0;
                return;
            }
            SendBody(guard, body, trickle, !keepAlive, image);
        });
        return;
    }
    SendBody(socket, body, trickle, !keepAlive, image);
}

QByteArray TDemoServer::StatsText() const
{
    QByteArray text = "connections " + QByteArray::number(Connections) + "\nrequests " +
                      QByteArray::number(Requests) + "\nbody_bytes " +
                      QByteArray::number(BodyBytes) + "\nwithheld " + QByteArray::number(Withheld) +
                      "\nnot_modified " + QByteArray::number(NotModified) + "\nstream_parts " +
                      QByteArray::number(StreamParts) + "\n";
    const qint64 now = Clock.elapsed();
    QList<QByteArray> targets = Targets.keys();
    std::sort(targets.begin(), targets.end());
    for (const QByteArray& target : targets) {
        const TTargetCount count = Targets.value(target);
        // Request targets are one word: the request line is split at spaces.
        text += "target " + target + ' ' + QByteArray::number(count.Requests) + ' ' +
                QByteArray::number(now - count.LastMs) + '\n';
    }
    return text;
}

bool TDemoServer::AnswerStall(QTcpSocket* socket, const QByteArray& jpeg)
{
    const quint64 turn = StallCount++;
    if (turn % 2 == 1)
        return false; // this one is answered in full
    // Nothing more is answered on this connection: the client has to give up on it.
    Busy[socket] = true;
    if (turn % 4 == 0)
        return true; // not even the headers
    socket->write("HTTP/1.1 200 OK\r\nServer: democam\r\nContent-Type: image/jpeg\r\n"
                  "Content-Length: " +
                  QByteArray::number(jpeg.size()) + "\r\n\r\n" + jpeg.left(jpeg.size() / 2));
    return true;
}

void TDemoServer::AnswerGarbage(QTcpSocket* socket, const QByteArray& jpeg)
{
    const auto randomBytes = [this](qsizetype size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(Random.bounded(256));
        return bytes;
    };
    const auto imageHead = [](qint64 length) {
        return "HTTP/1.1 200 OK\r\nServer: democam\r\nContent-Type: image/jpeg\r\n"
               "Content-Length: " +
               QByteArray::number(length) + "\r\nConnection: close\r\n\r\n";
    };
    QByteArray response;
    switch (GarbageCount++ % 9) {
    case 0: { // random bytes for an image
        const QByteArray body = randomBytes(1 + Random.bounded(200000));
        response = imageHead(body.size()) + body;
        break;
    }
    case 1: // a JPEG cut short, its length saying so
        response = imageHead(jpeg.size() / 2) + jpeg.left(jpeg.size() / 2);
        break;
    case 2: { // the JPEG's headers, then noise for its picture data
        QByteArray body = jpeg;
        const qsizetype from = std::min<qsizetype>(700, body.size());
        body.replace(from, body.size() - from, randomBytes(body.size() - from));
        response = imageHead(body.size()) + body;
        break;
    }
    case 3: // not HTTP at all
        response = randomBytes(1 + Random.bounded(4000));
        break;
    case 4: // a length that promises more than comes
        response = imageHead(jpeg.size() * 3) + jpeg;
        break;
    case 5: // a web page instead of an image
        response = "HTTP/1.1 200 OK\r\nServer: democam\r\nContent-Type: text/html\r\n"
                   "Content-Length: 44\r\nConnection: close\r\n\r\n"
                   "<html><body>Camera offline</body></html>\r\n\r\n";
        break;
    case 6: // headers without end: one line of 100 KB
        response = "HTTP/1.1 200 OK\r\nX-Filler: " + QByteArray(100000, 'x');
        break;
    case 7: // chunks whose sizes are nonsense
        response = "HTTP/1.1 200 OK\r\nServer: democam\r\nContent-Type: image/jpeg\r\n"
                   "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\nzz\r\n" +
                   jpeg.left(100) + "\r\nffffffffffffffffff\r\n" + jpeg.mid(100, 100);
        break;
    default: // an image of no bytes
        response = imageHead(0);
        break;
    }
    Busy[socket] = true; // the last answer on this connection
    socket->write(response);
    socket->disconnectFromHost();
}

void TDemoServer::StartStream(QTcpSocket* socket, const TDemoCam& cam)
{
    Busy[socket] = true; // the stream is the last answer on this connection
    // A stream runs until the client goes, however long it says nothing.
    if (auto* idle = socket->findChild<QTimer*>(QStringLiteral("idle")))
        idle->stop();
    socket->write("HTTP/1.1 200 OK\r\nServer: democam\r\nContent-Type: multipart/x-mixed-replace; "
                  "boundary=democam\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n");
    auto* timer = new QTimer(socket);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(1000 / std::max(1, StreamFps));
    connect(timer, &QTimer::timeout, socket, [this, socket, cam] {
        // A client that does not keep up loses frames rather than piling them up here.
        if (socket->bytesToWrite() > 4 * 1024 * 1024)
            return;
        const QByteArray jpeg = Frame(cam, QDateTime::currentDateTimeUtc());
        socket->write("--democam\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                      QByteArray::number(jpeg.size()) + "\r\n\r\n" + jpeg + "\r\n");
        BodyBytes += jpeg.size();
        ++StreamParts;
    });
    timer->start();
}

void TDemoServer::SendBody(QTcpSocket* socket, const QByteArray& body, bool trickle,
                           bool closeAfter, bool counted)
{
    auto finish = [this, closeAfter](QTcpSocket* s) {
        if (closeAfter) {
            s->disconnectFromHost();
            return;
        }
        Busy[s] = false;
        if (!Buffers.value(s).isEmpty())
            Read(s);
    };
    if (!trickle) {
        BodyBytes += counted ? body.size() : 0;
        socket->write(body);
        finish(socket);
        return;
    }
    // Thirty pieces spread over SlowMs.
    const qsizetype piece = std::max<qsizetype>(1, (body.size() + 29) / 30);
    auto offset = std::make_shared<qsizetype>(0);
    auto* timer = new QTimer(socket);
    timer->setInterval(SlowMs / 30);
    connect(timer, &QTimer::timeout, socket,
            [this, socket, body, piece, offset, timer, finish, counted] {
                const QByteArray part = body.mid(*offset, piece);
                BodyBytes += counted ? part.size() : 0;
                socket->write(part);
                *offset += part.size();
                if (*offset >= body.size()) {
                    timer->stop();
                    timer->deleteLater();
                    finish(socket);
                }
            });
    timer->start();
}
