// The bridge: a Kantronics KAM as the mail client sees it, AX.25 connected mode as the packet
// engine offers it. All handlers work on the one BridgeState and run on the one event loop,
// each to its end. The handlers are defined by subsystem:
//   app/bridge.cpp              construction and the front-end hooks
//   app/startup.cpp             start-up and the command line
//   app/eventlog.cpp            the event log
//   app/shutdown.cpp            shutdown
//   client/clientconnection.cpp the client socket and routing of its bytes
//   client/hostblocks.cpp       host-mode block framing and the data escapes
//   client/hostinterpreter.cpp  host-mode requests
//   client/terminalinterpreter.cpp terminal-mode dialogue
//   engine/engineevents.cpp     the packet engine's events and the link state
#pragma once

#include "app/bridgestate.h"
#include "app/frontend.h"
#include "client/clientsocket.h"
#include "engine/packetengine.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

struct BridgeOptions {
    QByteArray commandLine;                               // the fields, joined with blanks
    QHostAddress listenAddress = QHostAddress::LocalHost; // where the client is accepted
    QString engineHost = QStringLiteral("127.0.0.1");     // where the packet engine listens
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
    void dispatchClientData(const QByteArray &arrival);
    void Winsock1_ConnectionRequest();
    void Winsock1_DataArrival();
    void Winsock1_Close();
    void Winsock1_Error(const QString &description);
    void Winsock1_Connect();

    // Host-mode blocks.
    void extractBlock(const QByteArray &block);
    void sendBlock(const QByteArray &text);
    QByteArray KAMtoAX25(QByteArray &datablock);
    QByteArray AX25toKAM(QByteArray &datablock);

    // Interpreters.
    void interpretHostBlock();
    void interpretTerminal(const QByteArray &data);

    // Packet engine.
    void startEngine();
    void AGWAPIX1_OnReady(bool fReady);
    void AGWAPIX1_OnRegister(const QByteArray &szCall, bool fFlags);
    void AGWAPIX1_OnAX25Connect(qint32 iChannelId);
    void AGWAPIX1_OnAX25Disconnect(qint32 iChannelId);
    void AGWAPIX1_OnAX25Receive(qint32 iChannelId, const QByteArray &szData);
    void AGWAPIX1_OnRetryOut(qint32 dwPort, const QByteArray &szFrom, const QByteArray &szTo,
                             const QByteArray &szData);

private:
    // Wire the socket's and the control's events to their handlers.
    void connectClientSocket();
    void connectEngine();
    void showBox(FrontEnd::Box box, const QByteArray &text);
    // Logs an "ERROR" line and tells the front end that the bridge cannot work.
    void fail(const QByteArray &message);

    // The host-mode requests that interpretHostBlock carries out.
    void sendLinkData();
    void connectLink();
    void disconnectLink();
    void setOwnCall();
    void leaveHostMode();
    void sendLinkStatus();

    BridgeState s_;
    QByteArray viewOutput_;
    FrontEnd &frontEnd_;
    PacketEngine &AGWAPIX1;
    ClientSocket Winsock1;
    BridgeOptions options_;
};
