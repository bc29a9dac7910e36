// engine/: the packet-engine side of Varnel's protocol layers, knowing nothing of KAM or of the
// bridge: this interface, and the AGW TCP/IP control that implements it (agwcontrol.h) with its
// parts: the connection, the frame codec, the link bookkeeping, the transmit buffers, the
// engine's replies, callsigns.
//
// The packet-engine control as the bridge sees it: operations it calls and events it handles.
// The real control speaks the AGW TCP/IP API (AgwControl); tests put a double in its place.
//
// Radio ports count from 1. Channel ids are the control's own, counted from 1. Events are
// always raised from the event loop, never from inside one of the operations below, so a
// handler never runs while the bridge is half-way through a call.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Outputs of the connection-information query about one link.
struct ConnectionInfo {
    qint32 radioPort = 0;
    QByteArray ownCall;
    QByteArray remoteCall;
    QByteArray viaPath;
    qint32 num1 = 0;
    qint32 num2 = 0;
    qint32 num3 = 0;
};

class PacketEngine : public QObject {
    Q_OBJECT
public:
    // The engine connection as the operator sees it. Unreachable lasts from a failed attempt
    // until the engine is ready again, through the attempts in between.
    enum class EngineState : quint8 { Off, Connecting, Unreachable, Ready };

    using QObject::QObject;

    virtual void setEngineHost(const QString &host) = 0;
    virtual void setEnginePort(qint32 port) = 0;
    virtual void setEnabled(bool enabled) = 0;
    // Activation switch.
    virtual void setActive(bool active) = 0;
    // Second switch: writing True starts the engine connection; OnReady follows once it is up.
    // Writing False after setActive(false) is not needed: setActive(false) takes links down and
    // closes the connection, then raises closed().
    virtual void setOnline(bool online) = 0;

    // "<major>.<minor>" of the engine, once OnReady has come.
    virtual QByteArray version() const = 0;
    // OnRegister follows with the call as given. While the engine is not ready nothing is
    // sent and nothing follows: OnReady comes when it is, and its handler registers then.
    virtual void registerCall(const QByteArray &call) = 0;
    virtual void unregisterCall(const QByteArray &call) = 0;
    // Returns the channel id of the new link; its outcome comes as OnAX25Connect or
    // OnAX25Disconnect for that id. A request that cannot work (no engine, no such radio
    // port, a callsign AX.25 cannot carry) is reported and ends with OnAX25Disconnect.
    // viaPath: digipeaters separated by commas, empty entries ignored.
    virtual qint32 ax25Connect(qint32 radioPort, const QByteArray &ownCall,
                               const QByteArray &targetCall, const QByteArray &viaPath) = 0;
    // Whether a connect would go out now, or as soon as the engine connection that is being
    // renewed is ready: false while there is no engine to take it.
    virtual bool takesConnects() const = 0;
    // True when the channel is known and the request went to the engine, or will go once the
    // link's data still held (bytesHeld) is delivered or the link ends by itself. A second call
    // while it waits disconnects at once; the data not delivered is then reported. A connect
    // attempt that is called off ends with OnAX25Disconnect at once.
    virtual bool ax25Disconnect(qint32 channelId) = 0;
    // True when the link's transmit buffer took the data, to be delivered in order: only while
    // that link is up and not being disconnected at once. Data the link can no longer carry
    // when it ends is reported with its byte count.
    virtual bool ax25Send(qint32 channelId, const QByteArray &data) = 0;
    // Bytes of the link's data not yet known to be delivered: waiting in the control or still
    // held by the engine. 0 for a channel the control does not know.
    virtual qsizetype bytesHeld(qint32 channelId) const = 0;
    // The frames those bytes make or will make.
    virtual qsizetype framesHeld(qint32 channelId) const = 0;
    // The link as the engine reported it once it came up (for an outgoing link, as requested
    // until then). False, with info untouched, for a channel the control does not know.
    virtual bool connectionInfo(qint32 channelId, ConnectionInfo &info) = 0;

    virtual EngineState engineState() const = 0;
    // "host:port" of the engine, as set.
    virtual QByteArray engineAddress() const = 0;

signals:
    void OnReady(bool ready);
    void OnRegister(const QByteArray &call, bool registered);
    void OnAX25Connect(qint32 channelId);
    void OnAX25Disconnect(qint32 channelId);
    void OnAX25Receive(qint32 channelId, const QByteArray &data);
    // Retries ran out on the link, or the engine ended a connect attempt that was not called
    // off: the call failed. OnAX25Disconnect for it follows at once.
    void OnRetryOut(qint32 channelId);
    // Switched off, the control has closed its engine connection and written all it had to.
    // Comes also when there was no connection; links still open got OnAX25Disconnect first.
    void closed();
    // True while the engine is behind with what it was sent, or a link's transmit buffer is
    // full: the bridge then leaves the client's further requests unread, so TCP holds the
    // client back rather than data being refused. False once the engine has caught up.
    void backlogChanged(bool backlogged);
    // A line for the event log about the engine connection itself (engine unreachable, broken
    // stream): things the bridge's handlers never hear of otherwise.
    void report(const QByteArray &line);
    // engineState() has changed.
    void engineStateChanged();
};
