// The TCP connection to the AGW engine, the control's transport: connecting and reconnecting,
// the readiness queries, cutting the stream into frames and writing frames. It knows nothing
// of links; the control above it does.
//
// Ready means the engine has answered both the version query 'R' and the port query 'G', so a
// registration already knows the radio ports. Both queries go to every port a sound-card modem
// may have: QtSoundModem drops every request for a port that is off, these included, while
// Dire Wolf answers each, and the first answers count. An engine that accepts the connection but
// never answers (Dire Wolf does that to a client beyond its slot limit) counts as unreachable.
#pragma once

#include "engine/agwframe.h"
#include "engine/agwtransport.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

class AgwConnection : public AgwTransport {
    Q_OBJECT
public:
    explicit AgwConnection(QObject *parent = nullptr);
    ~AgwConnection() override;

    void setHost(const QString &host) override { host_ = host; }
    void setPort(quint16 port) override { port_ = port; }
    QByteArray address() const override;

    // Keeps trying at most kReconnectDelayMs apart.
    void open() override;
    void close() override;
    void reopen() override;

    bool isReady() const override { return phase_ == Phase::Ready; }
    QByteArray version() const override { return version_; }
    AgwRadioPorts radioPorts() const override { return radioPorts_; }

    using AgwTransport::send;
    // None, too, past kMaxUnsentBytes waiting; backlogChanged() at kBacklogBytes.
    bool send(const QList<AgwFrame> &frames) override;

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
    AgwRadioPorts radioPorts_;
    bool versionAnswered_ = false;
    bool portsAnswered_ = false;
    QList<QByteArray> reasonsReported_; // since the engine was last ready
    bool backlogged_ = false;
};
