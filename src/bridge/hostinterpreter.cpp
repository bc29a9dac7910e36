// Host-mode requests: data and link commands for port 1, stream A become packet-engine calls;
// the KAM's configuration commands are acknowledged and ignored; "C20S" polls the link status;
// "q" leaves host mode. Every reply but the two lines on leaving host mode is a block.
//
// Blocks are recognised on their text as received, escapes not undone: by the header key and
// the first data characters for the link commands, by the whole block for the rest. A block
// that is not framed by FENDs (the cutter never yields one) is logged and goes no further.
#include "bridge/blanks.h"
#include "bridge/bridge.h"
#include "bridge/numbers.h"
#include "client/hostcodec.h"

#include <QByteArrayView>

#include <array>
#include <optional>

namespace {

// Acknowledged without effect: the engine's settings are its own, and the client only needs
// to hear that its KAM took them.
constexpr std::array<QByteArrayView, 25> kConfigurationCommands = {
    "C20XFLOW OFF",      "C20ECHO ON",       "C20XMITECHO ON",   "C20TXFLOW OFF",
    "C20TRFLOW OFF",     "C20AUTOCR 0",      "C20AUTOLF OFF",    "C20CRADD OFF",
    "C20MAXUSERS 10/10", "C20CRSUP OFF/OFF", "C20LFADD OFF/OFF", "C20LFSUP OFF/OFF",
    "C20ARQID 0",        "C20ARQBBS OFF",    "C20PTHUFF ON",     "C20USERS 1",
    "C20FR 5",           "C20TX 50",         "C20SL 10",         "C20PE 63",
    "C20CH 30",          "C20HB 1200",       "C20MAX 4",         "C20RET 10",
    "C20M OFF",
};

constexpr QByteArrayView kViaMarker = " V ";
constexpr QByteArrayView kReconnectRefused = "C00Can't RECONNECT, A/V Link state is: ";
// The room a KAM reports with nothing in its transmit buffer.
constexpr qsizetype kFreeBytesWhenEmpty = 936;

bool isConfigurationCommand(QByteArrayView block) {
    for (QByteArrayView command : kConfigurationCommands) {
        if (hostcodec::isFramed(block, command)) {
            return true;
        }
    }
    return false;
}

// The callsigns of a connect request: "C", one separator character, the target, and
// optionally " V " and the digipeaters separated by blanks.
struct ConnectRequest {
    QByteArray targetCall;
    QByteArray viaPath; // digipeaters separated by commas
};

ConnectRequest parseConnectRequest(QByteArrayView data) {
    constexpr qsizetype kTargetStart = 2;
    ConnectRequest request;
    const qsizetype via = data.indexOf(kViaMarker);
    if (via < 0) {
        request.targetCall = data.sliced(qMin(kTargetStart, data.size())).toByteArray();
        return request;
    }
    request.viaPath = data.sliced(via + kViaMarker.size()).toByteArray().replace(' ', ',');
    // In "C V RELAY1" the marker takes the separator's place: no room for a target.
    if (via > kTargetStart) {
        request.targetCall = data.sliced(kTargetStart, via - kTargetStart).toByteArray();
    }
    return request;
}

} // namespace

std::optional<hostcodec::BlockFields> Bridge::extractBlock(const QByteArray &block) {
    switch (hostcodec::checkFraming(block)) {
    case hostcodec::Framing::FirstByteNotFend:
        logLine("BLOCK ERROR first byte not FEND");
        return std::nullopt;
    case hostcodec::Framing::LastByteNotFend:
        logLine("BLOCK ERROR last byte not FEND");
        return std::nullopt;
    case hostcodec::Framing::Ok:
        break;
    }
    return hostcodec::splitBlock(block);
}

void Bridge::interpretHostBlock(const QByteArray &block, const hostcodec::BlockFields &fields) {
    const QByteArrayView headerKey = fields.header;
    const QByteArrayView data = fields.data;

    if (headerKey == "D1A") {
        sendLinkData(data);
    } else if (headerKey == "C1A" && data.startsWith('C')) {
        connectLink(data);
    } else if (headerKey == "C1A" && data.startsWith('D')) {
        disconnectLink();
    } else if (headerKey == "C1A" && data.startsWith("MY")) {
        setOwnCall(data);
    } else if (isConfigurationCommand(block)) {
        sendBlock("C00");
    } else if (hostcodec::isFramed(block, "q")) {
        leaveHostMode();
    } else if (hostcodec::isFramed(block, "C20S")) {
        sendLinkStatus();
    } else if (hostcodec::isFramed(block, "?")) {
        sendBlock("C00");
    } else {
        logLine("ERROR Unknown Hostmode Client request>");
        logLine(block);
    }
}

void Bridge::sendLinkData(QByteArrayView data) {
    const QByteArray linkData = hostcodec::unescape(data);
    if (!engine_.ax25Send(s_.channelId, linkData)) {
        logLine("ERROR AX25Send not accepted");
        logLine(linkData);
    }
}

void Bridge::connectLink(QByteArrayView data) {
    switch (s_.linkState) {
    case kConnected:
        sendBlock(kReconnectRefused.toByteArray() + "CONNECTED to " + s_.connection.remoteCall);
        return;
    case kConnectInProgress:
        sendBlock(kReconnectRefused.toByteArray() + "CONNECT in progress " + s_.targetCall);
        return;
    case kDisconnectInProgress:
        sendBlock(kReconnectRefused.toByteArray() + "DISC in progress " + s_.connection.remoteCall);
        return;
    }
    // A radio port beyond 32 bits (a command-line typo) reaches no engine port: refuse the
    // connect rather than wait in "connect in progress" for a link that cannot come.
    const std::optional<qint32> radioPort = roundHalfEven(s_.agwPort);
    if (!radioPort) {
        logLine("ERROR radio port" + leadingBlankNumber(s_.agwPort) + " out of range");
        sendBlock("C00Can't CONNECT, radio port out of range");
        return;
    }
    ConnectRequest request = parseConnectRequest(data);
    s_.targetCall = std::move(request.targetCall);
    s_.linkState = kConnectInProgress;
    s_.channelId = engine_.ax25Connect(*radioPort, s_.myCall, s_.targetCall, request.viaPath);
    sendBlock("C00");
}

void Bridge::disconnectLink() {
    if (s_.linkState == kDisconnected) {
        sendBlock("C00Can't DISCONNECT, A/V Link state is: DISCONNECTED");
        return;
    }
    if (!engine_.ax25Disconnect(s_.channelId)) {
        logLine("ERROR disconnect method fail" + QByteArray::number(s_.channelId));
    }
    sendBlock("C00");
    s_.linkState = kDisconnectInProgress;
}

void Bridge::setOwnCall(QByteArrayView data) {
    sendBlock("C00");
    engine_.unregisterCall(s_.myCall);
    s_.myCall = trimBlanks(data.sliced(2)).toUpper();
    engine_.registerCall(s_.myCall);
    showBox(FrontEnd::Box::MyCall, s_.myCall);
}

void Bridge::leaveHostMode() {
    s_.hostMode = 0;
    sendRaw("INTFACE was HOST\r");
    sendRaw("cmd:\r");
}

// What the engine and its control still hold of the link counts against the room.
qsizetype Bridge::freeBytes() const {
    return qMax(qsizetype(0), kFreeBytesWhenEmpty - engine_.bytesHeld(s_.channelId));
}

void Bridge::sendLinkStatus() {
    const QByteArray freeBytes = "C00FREE BYTES " + QByteArray::number(this->freeBytes()) + "\r";
    switch (s_.linkState) {
    case kDisconnected:
        sendBlock(freeBytes + "A/V DISCONNECTED\r");
        return;
    case kConnected:
        sendBlock(freeBytes + "A/V CONNECTED to " + s_.connection.remoteCall);
        return;
    case kConnectInProgress:
        sendBlock(freeBytes + "A/V CONNECT in progress " + s_.targetCall);
        return;
    case kDisconnectInProgress:
        sendBlock(freeBytes + "A/V DISC in progress " + s_.connection.remoteCall);
        return;
    }
}
