// The TCP connection to the AGW engine: connecting and reconnecting, the readiness queries,
// cutting the stream into frames and writing frames. It knows nothing of links; the control
// above it does.
//
// Ready means the engine has answered both the version query 'R' and the port query 'G', so a
// registration already knows the radio ports. An engine that accepts the connection but never
// answers (Dire Wolf does that to a client beyond its slot limit) counts as unreachable.
#pragma once

#include "engine/agwframe.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

class AgwConnection : public QObject {
    Q_OBJECT
public:
    explicit AgwConnection(QObject *parent = nullptr);
    ~AgwConnection() override;

    void setHost(const QString &host) { host_ = host; }
    void setPort(quint16 port) { port_ = port; }
    // "host:port", for log lines.
    QByteArray address() const;

    // Connects from the event loop and keeps trying, at most kReconnectDelayMs apart, until
    // close(). Does nothing while already open.
    void open();
    // Stops trying, sends what is already written, then closes; closed() follows, always from
    // the event loop, also when there was no connection.
    void close();
    // Ends this connection cleanly and connects again at once, as open() does: the engine
    // forgets everything it held for the old connection. ready() follows once it answers.
    void reopen();

    bool isReady() const { return phase_ == Phase::Ready; }
    // Valid once ready: the 'R' answer as "<major>.<minor>" and the real radio ports from 'G'.
    QByteArray version() const { return version_; }
    QList<qint32> radioPorts() const { return radioPorts_; }

    // Writes the frames in order, all or none: none when not connected or when the engine has
    // stopped reading and too much is waiting already.
    bool send(const QList<AgwFrame> &frames);
    bool send(const AgwFrame &frame) { return send(QList<AgwFrame>{frame}); }

signals:
    void ready();
    // Every frame from the engine except the readiness answers.
    void frameReceived(const AgwFrame &frame);
    // An established connection ended without close(): its links and registrations are gone.
    void lost();
    // An "ERROR" line about the connection: each reason once per outage, and only a few.
    void report(const QByteArray &line);
    void closed();
    // Frames waiting to go out passed kBacklogBytes (true) or fell back under it (false).
    void backlogChanged(bool backlogged);

private:
    enum class Phase { Idle, Connecting, Handshake, Ready, Closing };

    void connectNow();
    void onConnected();
    void onReadyRead();
    void handleFrame(const AgwFrame &frame);
    void onDeadline();
    // Gives up this connection for the reason given, and tries again later.
    void fail(const QByteArray &reason);
    void finishClose();
    void retireSocket();
    // Lets the socket close the stream after what was written, so that the engine sees the
    // end and frees its client slot, and forgets it.
    void releaseSocket();
    void updateBacklog();

    QString host_ = QStringLiteral("127.0.0.1"); // where AGW engines listen by default
    quint16 port_ = 8000;
    Phase phase_ = Phase::Idle;
    bool wanted_ = false; // open() was called and close() was not
    QTcpSocket *socket_ = nullptr;
    AgwFrameReader reader_;
    QTimer retry_;
    QTimer deadline_; // the engine's answer while connecting, the final flush while closing
    QByteArray version_;
    QList<qint32> radioPorts_;
    bool versionAnswered_ = false;
    bool portsAnswered_ = false;
    QList<QByteArray> reasonsReported_; // since the engine was last ready
    bool backlogged_ = false;
};
