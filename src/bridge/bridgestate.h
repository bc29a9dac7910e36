// What the bridge remembers from one event to the next. Every handler works on this single
// record; nothing is kept anywhere else and nothing survives the program. What matters only
// while one block or one arrival is handled lives in the handler's parameters and locals.
//
// Texts are bytes: one 8-bit character per byte, exchanged unchanged with the client and the
// packet engine. The configured ports are doubles holding what the command line gave and are
// rounded, halves to even, where a socket or the engine needs an integer.
#pragma once

#include "engine/packetengine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <map>

// A terminal-mode line, or a block met in terminal mode, longer than this is not understood:
// KAM command lines are a few dozen characters, and a client that never ends its line must not
// hold memory without limit.
constexpr qsizetype kMaxTerminalLineBytes = 256;

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
    // Terminal mode: the line being typed, since the last CR (or a block, from its FEND on).
    QByteArray terminalLine;
    bool terminalLineTooLong = false; // bytes past the line's bound were dropped
    // The KAM's parameters as the client set them, by full name: shown when it asks.
    std::map<QByteArrayView, QByteArray> settings;

    // The one AX.25 link.
    quint8 linkState = kDisconnected;
    qint32 channelId = 0; // the engine's id of the link; not cleared when the link goes down

    // Configuration, settled by the command line at start-up.
    double agwPort = 0;
    bool acceptAny = false;
    QByteArray myCall;
    double enginePort = 0;
    double listenPort = 0;

    // What the engine's connection-information query gave for the client's link when it came up.
    ConnectionInfo connection;
    // The host-mode port ('1' or '2') and stream ('A' to 'Z') the link is carried on: its status
    // and data blocks carry them, and the client's data and disconnect are taken there.
    char linkPort = '1';
    char linkStream = 'A';
    // The port of the client's last block for a link stream: an incoming link is announced there.
    char clientLinkPort = '1';

    QByteArray targetCall; // asked for by the last connect command, as typed
};
