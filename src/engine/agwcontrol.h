// The packet-engine control over the AGW TCP/IP API: the bridge's operations become AGW
// frames, the engine's frames become the bridge's events.
//
// What it guards against, learnt from Dire Wolf 1.6:
// - data ('D') for a callsign pair that has not been through a 'C' event locks the engine up,
//   so data goes out only on links the engine has reported connected;
// - it empties a link's queue when told to disconnect, so the transmit buffers (agwtransmitter.h)
//   hold a disconnect back until the link's data is delivered;
// - callsigns are matched as text and SSID 0 never comes back as "-0", so every callsign goes
//   out in one canonical spelling;
// - closing the TCP connection drops links without telling the remote station, so switching
//   off first disconnects every link and waits a little for the engine to confirm;
// - the engine has no "connect failed" reply for a bad request, so a connect that cannot work
//   ends at once with a disconnect event instead of hanging in connect-in-progress.
#pragma once

#include "engine/agwlinks.h"
#include "engine/agwtransmitter.h"
#include "engine/agwtransport.h"
#include "engine/packetengine.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class AgwControl : public PacketEngine {
    Q_OBJECT
public:
    // Over TCP to the engine's AGW port.
    explicit AgwControl(QObject *parent = nullptr);
    // Over another transport, which must outlive the control.
    explicit AgwControl(AgwTransport &transport, QObject *parent = nullptr);

    void setEngineHost(const QString &host) override;
    void setEnginePort(qint32 port) override;
    void setEnabled(bool enabled) override;
    void setActive(bool active) override;
    void setOnline(bool online) override;

    QByteArray version() const override;
    void registerCall(const QByteArray &call) override;
    void unregisterCall(const QByteArray &call) override;
    qint32 ax25Connect(qint32 radioPort, const QByteArray &ownCall, const QByteArray &targetCall,
                       const QByteArray &viaPath) override;
    bool takesConnects() const override;
    bool ax25Disconnect(qint32 channelId) override;
    bool ax25Send(qint32 channelId, const QByteArray &data) override;
    qsizetype bytesHeld(qint32 channelId) const override;
    qsizetype framesHeld(qint32 channelId) const override;
    bool connectionInfo(qint32 channelId, ConnectionInfo &info) override;
    EngineState engineState() const override;
    QByteArray engineAddress() const override;

private:
    AgwControl(std::unique_ptr<AgwTransport> ownTransport, QObject *parent);
    void wireTransport();

    // A registration waiting for the engine's first answer; one 'X' went to each radio port.
    struct PendingRegistration {
        QByteArray wireCall;
        QByteArray call; // as the bridge asked, for OnRegister
        qsizetype answersDue = 0;
        bool answered = false;
    };

    void startIfWanted();
    void switchOff();
    // Why a connect request cannot be carried out, or empty when it can; fills the frame.
    QByteArray connectRequest(qint32 radioPort, const QByteArray &ownCall,
                              const QByteArray &targetCall, const QByteArray &viaPath,
                              AgwFrame &frame) const;

    void handleFrame(const AgwFrame &frame);
    void handleRegistered(const AgwFrame &frame);
    void handleLinkUp(const AgwFrame &frame);
    void handleLinkDown(const AgwFrame &frame);
    void handleData(const AgwFrame &frame);
    // A fresh engine connection: the engine forgets every link and registration of the old one.
    void renewConnection();
    // The engine keeps a record per port and pair of calls for as long as the connection
    // lasts, and a later connect to the same station reuses the record's digipeater path.
    static QByteArray recordKey(quint8 port, const QByteArray &ownCall,
                                const QByteArray &remoteCall);
    void rememberRecord(const QByteArray &key, const QByteArray &path);
    void onReady();
    void handleOutstanding(const AgwFrame &frame);
    // Stops a connect attempt that the engine has been sent.
    void callOff(qint32 channelId, AgwLink &link);
    // The link has ended: bytes it could not deliver are reported, why in a few words.
    void forgetTransmitData(qint32 channelId, const AgwLink &link, const QByteArray &why);
    // The same, returning the report line rather than raising it; empty when nothing was lost.
    QByteArray undeliveredReport(qint32 channelId, const AgwLink &link, const QByteArray &why);
    void updateBacklog();
    // The engine connection is gone: every link with it.
    void dropAllLinks();
    void onConnectionClosed();

    AgwFrame linkFrame(char kind, const AgwLink &link) const;
    void sendToAllPorts(char kind, const QByteArray &wireCall);
    // Raises an event from the event loop: operations never raise one while the caller is inside.
    void post(std::function<void()> event);
    void postReport(const QByteArray &line);
    // Raises engineStateChanged when engineState() differs from what was last raised.
    void noteEngineState();

    std::unique_ptr<AgwTransport> ownTransport_; // set when the control made its own
    AgwTransport &connection_;
    AgwLinks links_;
    AgwTransmitter transmitter_{connection_};
    QList<PendingRegistration> registrations_;
    // The path ('v' data, empty for none) of each record the engine holds for this connection.
    std::map<QByteArray, QByteArray> enginePaths_;
    QTimer goodbye_; // switching off: how long the links have to confirm their disconnect
    bool enabled_ = false;
    bool active_ = false;
    bool online_ = false;
    bool switchingOff_ = false;
    // The engine connection is being renewed: connects wait for the fresh one.
    bool renewing_ = false;
    // The two reasons for the client to pause: the engine connection is behind, or a link's
    // transmit buffer is full.
    bool connectionBehind_ = false;
    bool transmitHolding_ = false;
    bool backlogged_ = false;
    // The engine connection was opened and has not closed since.
    bool connectionOpen_ = false;
    // An attempt has failed since the engine was last ready.
    bool attemptFailed_ = false;
    EngineState raisedEngineState_ = EngineState::Off;
};
