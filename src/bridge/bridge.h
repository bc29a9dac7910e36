// The bridge: a Kantronics KAM as the mail client sees it, AX.25 connected mode as the packet
// engine offers it. It builds on the two protocol layers below it, client/ (the KAM host-mode
// pieces and the client socket) and engine/ (the packet-engine interface and the AGW control),
// which know nothing of each other or of the bridge; the shell in app/ puts a front end on it.
//
// All handlers work on the one BridgeState and run on the one event loop, each to its end.
// They are defined by subject:
//   bridge.cpp              construction and the front-end hooks
//   startup.cpp             start-up and the command line
//   eventlog.cpp            the event log
//   shutdown.cpp            shutdown
//   clientconnection.cpp    the client socket, routing of its bytes, replies to the client
//   hostinterpreter.cpp     host-mode blocks and requests
//   terminalinterpreter.cpp terminal-mode dialogue
//   engineevents.cpp        the packet engine's events and the link state
//   stationstatus.cpp       the station's status for the front end
#pragma once

#include "bridge/bridgestate.h"
#include "bridge/frontend.h"
#include "bridge/stationstatus.h"
#include "client/clienttransport.h"
#include "client/clientwire.h"
#include "client/hostcodec.h"
#include "client/kamcommands.h"
#include "engine/packetengine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

struct BridgeOptions {
    QByteArray commandLine;                               // the fields, joined with blanks
    QHostAddress listenAddress = QHostAddress::LocalHost; // where a TCP client is accepted
    ClientWire clientWire;                                // TCP, or the device of the line
    QString engineHost = QStringLiteral("127.0.0.1");     // where the packet engine listens
    // A KAM told INTFACE HOST and PERM starts in host mode; some clients send blocks at once.
    bool startInHostMode = false;
};

class Bridge : public QObject {
    Q_OBJECT
public:
    Bridge(FrontEnd &frontEnd, PacketEngine &engine, BridgeOptions options,
           QObject *parent = nullptr);

    BridgeState &state() { return s_; }
    const BridgeState &state() const { return s_; }
    // The event log's text: lines ended by CR LF, the newest last.
    const QByteArray &logText() const { return viewOutput_; }
    // For observers: its dataArrival has been handled once the signal reaches them.
    const ClientTransport &clientSocket() const { return *clientSocket_; }

    // Start-up and shutdown.
    void Form_Load();
    void Form_Unload();
    void initState();
    void parseCommandLine(const QByteArray &commandLine);

    void logLine(const QByteArray &text);

    // Client connection.
    void startListening();
    void closeClient();
    void sendRaw(const QByteArray &text);
    void sendBlock(const QByteArray &text);
    void dispatchClientData(const QByteArray &arrival);

    // Interpreters.
    // The fields of a cut block, views into it; nothing, logged, when it is not framed by FENDs.
    std::optional<hostcodec::BlockFields> extractBlock(const QByteArray &block);
    void interpretHostBlock(const QByteArray &block, const hostcodec::BlockFields &fields);
    // Takes terminal-mode bytes; returns those that follow a switch to host mode, which are
    // the host mode's.
    QByteArrayView interpretTerminal(QByteArrayView data);

    // Packet engine.
    void startEngine();

    // The room left in the transmit buffer that the links share, as the status poll reports it
    // (FREE BYTES).
    qsizetype freeBytes() const;
    // Bytes of all links that are not yet known to be delivered.
    qsizetype bytesHeldByLinks() const;

    // What the front end's status display shows.
    StationStatus stationStatus() const;

private:
    // The client socket's events.
    void Winsock1_ConnectionRequest();
    void Winsock1_DataArrival();
    void Winsock1_Close();
    void Winsock1_Error(const QString &description);

    // The packet engine's events.
    void AGWAPIX1_OnReady();
    void AGWAPIX1_OnRegister(const QByteArray &call);
    void AGWAPIX1_OnAX25Connect(qint32 channelId);
    void AGWAPIX1_OnAX25Disconnect(qint32 channelId);
    void AGWAPIX1_OnAX25Receive(qint32 channelId, const QByteArray &data);
    void AGWAPIX1_OnRetryOut(qint32 channelId);

    // Wire the socket's and the control's events to their handlers.
    void connectClientSocket();
    void connectEngine();
    void connectStatus();
    // Passes the status on to the front end when it has changed.
    void updateStatus();
    void showBox(FrontEnd::Box box, const QByteArray &text);
    bool clientConnected() const;
    // The header of a block of this type about a stream's link: "S1A".
    static QByteArray linkBlock(char type, hostcodec::Stream stream);
    // A station that called the own callsign: given the first free stream that takes calls.
    void takeCaller(qint32 channelId, const ConnectionInfo &caller);
    void linkUp(hostcodec::Stream stream);
    void logLinkEnd(hostcodec::Stream stream, const StreamLink &ended);
    // Asks the engine to take down a link the bridge does not carry.
    void refuseLink(qint32 channelId);
    // The same for a caller that finds no free stream, telling it why first.
    void refuseBusy(qint32 channelId, const ConnectionInfo &caller, char port);
    // Logs an "ERROR" line and tells the front end that the bridge cannot work.
    void fail(const QByteArray &message);

    // Host-mode bytes: cuts and interprets their blocks; returns the bytes that follow a block
    // that left host mode, which are the terminal mode's.
    QByteArrayView interpretHostBytes(QByteArrayView arrival);

    // The host-mode requests that interpretHostBlock carries out; data is the block's data
    // field, escapes not undone.
    void interpretHostCommand(const QByteArray &block, std::optional<hostcodec::Stream> stream,
                              QByteArrayView text);
    void sendLinkData(hostcodec::Stream stream, QByteArrayView data);
    void connectLink(hostcodec::Stream stream, QByteArrayView argument);
    // Why a connect on a free stream cannot go out, as the client is told; nothing when it can.
    std::optional<QByteArray> connectRefusal(hostcodec::Stream stream,
                                             const QByteArray &targetCall) const;
    void disconnectLink(hostcodec::Stream stream);
    void leaveHostMode();
    void refuseHostCommand(const QByteArray &block);

    // Terminal-mode lines and the blocks met in terminal mode.
    void takeTerminalByte(char c);
    void answerTerminalLine(QByteArrayView line);
    void answerTerminalBlock(QByteArrayView block);
    void refuseTerminalRequest(QByteArrayView request);

    // The commands that both interfaces take alike; their answer text, without header or
    // prompt, or nothing for the commands that each interface takes its own way. stream is
    // where the command was addressed.
    std::optional<QByteArray> answerCommand(const kam::ParsedCommand &parsed,
                                            hostcodec::Stream stream);
    void setOwnCall(QByteArrayView argument);
    QByteArray answerSetting(const kam::Command &command, QByteArrayView argument);
    void applySetting(const kam::Command &command, QByteArrayView value);
    // "FREE BYTES", then the streams' lines; every line ends with CR.
    QByteArray statusText(hostcodec::Stream addressed) const;
    // A link's state as the status shows it ("CONNECTED to N0CALL").
    static QByteArray stateText(const StreamLink &link);
    // As the status shows a stream: "A/V".
    static QByteArray streamName(hostcodec::Stream stream);

    // What the KAM answers to a command it does not know.
    static constexpr QByteArrayView kNotUnderstood = "EH?\r";

    BridgeState s_;
    QByteArray viewOutput_;
    FrontEnd &frontEnd_;
    PacketEngine &engine_;
    std::unique_ptr<ClientTransport> clientSocket_;
    BridgeOptions options_;
    // Why the bridge cannot work, as fail() logged it. Each cause comes once at most: a
    // listener that failed takes no client, so it is never tried again.
    QByteArrayList failures_;
    StationStatus shownStatus_;
    // Runs only while a link has data waiting.
    QTimer deliveryWatch_;
};
