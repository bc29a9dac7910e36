// The one record of everything the bridge knows while it runs. Every handler works on this
// single set; nothing is kept anywhere else and nothing survives the program.
//
// Texts are bytes: one 8-bit character per byte, exchanged unchanged with the client and the
// packet engine. Ports and the channel id are doubles holding whole numbers and are rounded,
// halves to even, where a socket or the engine needs an integer.
#pragma once

#include <QByteArray>
#include <QtGlobal>

enum LinkState : quint8 {
    kDisconnected = 0,
    kConnected = 1,
    kConnectInProgress = 2,
    kDisconnectInProgress = 3,
};

struct BridgeState {
    // Client side.
    QByteArray clientBuffer; // host-mode bytes not yet cut into blocks
    quint8 hostMode = 0;     // 1 host mode, 0 terminal mode

    // The one AX.25 link.
    quint8 linkState = kDisconnected;
    double channelId = 0; // not cleared when the link goes down

    // Configuration, settled by the command line at start-up.
    double agwPort = 0;
    bool acceptAny = false;
    QByteArray myCall;

    // Outputs of the engine's connection-information query for the link last reported.
    qint32 connPort = 0;
    QByteArray connText1;
    QByteArray remoteCall;
    QByteArray connText3;
    qint32 connNum1 = 0;
    qint32 connNum3 = 0;
    qint32 connNum2 = 0;
    bool connInfoOk = false;

    bool disconnectOk = false;
    bool sendOk = false;

    // The host-mode block being interpreted.
    QByteArray commandLetter;
    QByteArray commandPrefix;
    QByteArray blockType;
    QByteArray blockPort;
    QByteArray blockStream;
    QByteArray blockData;

    // Framing characters, one byte each.
    QByteArray fend;
    QByteArray fesc;
    QByteArray tfend;
    QByteArray tfesc;

    QByteArray rxData; // last data received on the link, escaped for the client
    QByteArray txData; // last client data handed to the engine, unescaped

    double enginePort = 0;
    double listenPort = 0;

    // The last connect command.
    QByteArray viaPath; // digipeaters separated by commas; empty for a direct connect
    QByteArray targetCall;

    QByteArray receivedData; // the last arrival from the client, as received
    QByteArray currentBlock; // the block being handled, FEND to FEND, escapes not undone
};
