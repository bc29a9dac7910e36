// What the bridge remembers from one event to the next. Every handler works on this single
// record; nothing is kept anywhere else and nothing survives the program. What matters only
// while one block or one arrival is handled lives in the handler's parameters and locals.
//
// Texts are bytes: one 8-bit character per byte, exchanged unchanged with the client and the
// packet engine. The configured ports are doubles holding what the command line gave and are
// rounded, halves to even, where a socket or the engine needs an integer.
#pragma once

#include "bridge/streamlimits.h"
#include "bridge/streamlinks.h"
#include "client/hostcodec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <map>

// A terminal-mode line, or a block met in terminal mode, longer than this is not understood:
// KAM command lines are a few dozen characters, and a client that never ends its line must not
// hold memory without limit.
constexpr qsizetype kMaxTerminalLineBytes = 256;

struct BridgeState {
    // Client side.
    QByteArray clientBuffer; // host-mode bytes not yet cut into blocks
    quint8 hostMode = 0;     // 1 host mode, 0 terminal mode
    // Terminal mode: the line being typed, since the last CR (or a block, from its FEND on).
    QByteArray terminalLine;
    bool terminalLineTooLong = false; // bytes past the line's bound were dropped
    // The client was told once that HF modes are not carried; it re-arms them after every link.
    bool hfModeLogged = false;
    // The KAM's parameters as the client set them, by full name: shown when it asks.
    std::map<QByteArrayView, QByteArray> settings;

    // The links, one per stream, and how many streams the client lets them use.
    StreamLinks links;
    StreamLimits limits;
    // The KAM's current stream: where the client last connected, or a caller last landed. The
    // status shows it even while it is free.
    hostcodec::Stream currentStream;
    // The port of the client's last block for a link stream: callers are announced there.
    char callerPort = '1';

    // Configuration, settled by the command line at start-up.
    double agwPort = 0;
    bool acceptAny = false;
    QByteArray myCall;
    double enginePort = 0;
    double listenPort = 0;
};
