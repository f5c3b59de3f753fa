#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
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
        // The troubled webcams of a soak run (--soak):
        Resize,  // the clock, its size changing every second
        Stall,   // every other answer stops: before the headers, or halfway through the body
        Garbage, // a different kind of broken answer each time
        Vanish,  // the clock for VanishMs, then for as long connections reset without an answer
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
// answers), then one line per request target asked for ("target PATH REQUESTS MS", MS the time
// since its last request). Images with a Last-Modified (and the still one with its ETag) answer
// conditional requests for the current image with 304.
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
    // The vanishing webcam's period: this long there, then this long gone.
    int VanishMs = 40000;

    // Adds the troubled webcams (see TDemoCam) to the list.
    void AddSoakCams();
    // The vanishing webcam is gone at this time since the start.
    bool Vanished(qint64 msSinceStart) const;

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
    // Answers of the stalling and the garbage webcams; false when the answer is a normal one.
    bool AnswerStall(QTcpSocket* socket, const QByteArray& jpeg);
    void AnswerGarbage(QTcpSocket* socket, const QByteArray& jpeg);
    QByteArray StatsText() const;

    struct TTargetCount
    {
        qint64 Requests = 0;
        qint64 LastMs = 0; // since the start
    };

    QTcpServer Server;
    QList<TDemoCam> CamList;
    QDateTime Started;
    QByteArray StillJpeg;
    QHash<QString, QPair<qint64, QByteArray>> FrameCache; // path -> (second, JPEG)
    QHash<QTcpSocket*, QByteArray> Buffers;
    QHash<QTcpSocket*, bool> Busy; // a response is still being sent
    QHash<QByteArray, TTargetCount> Targets;
    QElapsedTimer Clock;
    quint64 StallCount = 0;
    quint64 GarbageCount = 0;
    QRandomGenerator Random{13}; // the garbage is the same from run to run
    qint64 Connections = 0;
    qint64 Requests = 0;
    qint64 BodyBytes = 0;
    qint64 Withheld = 0;
    qint64 NotModified = 0; // 304 answers
    qint64 StreamParts = 0;
};
