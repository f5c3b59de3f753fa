#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// One synthetic webcam of the demo server.
struct TDemoCam
{
    enum TKind
    {
        Clock,   // a new frame every second, with Last-Modified and Content-Length
        Still,   // the same frame for ever
        Slow,    // the clock, its body trickled over about three seconds
        Bare,    // the clock without Last-Modified and Content-Length
        Missing, // 404
        Moved,   // 302 to the still image
        Stream,  // multipart/x-mixed-replace: the clock's frames, StreamFps a second, endless
    };
    QString Name;
    QString Path;
    TKind Kind = Clock;
    int Width = 640;
    int Height = 480;
    int Hue = 0;
};

// HTTP/1.1 with keep-alive on 127.0.0.1 only. GET and HEAD; /stats gives counters as text
// (connections, requests, image body bytes sent, image bodies withheld after the header gap, 304
// answers). Images with a Last-Modified (and the still one with its ETag) answer conditional
// requests for the current image with 304.
class TDemoServer : public QObject
{
    Q_OBJECT

public:
    explicit TDemoServer(QObject* parent = nullptr);

    bool Listen(quint16 port);
    quint16 Port() const { return Server.serverPort(); }
    const QList<TDemoCam>& Cams() const { return CamList; }

    // After the headers, wait this long for the client to drop the connection before the body is
    // sent; a dropped connection gets no body. Lets a benchmark see what an unchanged-image test
    // saves on the wire.
    int HeaderGapMs = 0;
    // The slow webcam sends its body in thirty pieces spread over this time.
    int SlowMs = 3000;
    // Parts a second of the stream webcam.
    int StreamFps = 25;

    // The .cal file that lists the webcams (CR LF line ends, ISO-8859-1).
    QByteArray CalFile() const;

private:
    struct TConnection;
    // What a conditional request names: the client's copy of the image.
    struct TValidators
    {
        QByteArray ModifiedSince;
        QByteArray NoneMatch;
    };

    void Accept();
    void Read(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, const QByteArray& method, const QByteArray& target,
                bool keepAlive, const TValidators& validators);
    void StartStream(QTcpSocket* socket, const TDemoCam& cam);
    void SendBody(QTcpSocket* socket, const QByteArray& body, bool trickle, bool closeAfter,
                  bool counted);
    QByteArray Frame(const TDemoCam& cam, const QDateTime& second);

    QTcpServer Server;
    QList<TDemoCam> CamList;
    QDateTime Started;
    QByteArray StillJpeg;
    QHash<QString, QPair<qint64, QByteArray>> FrameCache; // path -> (second, JPEG)
    QHash<QTcpSocket*, QByteArray> Buffers;
    QHash<QTcpSocket*, bool> Busy; // a response is still being sent
    qint64 Connections = 0;
    qint64 Requests = 0;
    qint64 BodyBytes = 0;
    qint64 Withheld = 0;
    qint64 NotModified = 0; // 304 answers
    qint64 StreamParts = 0;
};
