// Host-mode requests: data and link commands for port 1, stream A become packet-engine calls;
// the KAM's configuration commands are acknowledged and ignored; "C20S" polls the link status;
// "q" leaves host mode. Every reply but the two lines on leaving host mode is a block.
//
// Blocks are recognised on their text as received, escapes not undone: by the header key and
// the first data characters for the link commands, by the whole block for the rest.
#include "app/blanks.h"
#include "app/bridge.h"
#include "app/numbers.h"
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
constexpr QByteArrayView kFreeBytes = "C00FREE BYTES 936\r";

bool isConfigurationCommand(QByteArrayView block) {
    for (QByteArrayView command : kConfigurationCommands) {
        if (hostcodec::isFramed(block, command)) {
            return true;
        }
    }
    return false;
}

// channelId only ever holds ids that the engine handed out as 32-bit integers.
qint32 engineChannel(double channelId) {
    return roundHalfEven(channelId).value_or(0);
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

void Bridge::interpretHostBlock() {
    s_.commandLetter = s_.blockData.left(1);
    s_.commandPrefix = s_.blockData.left(2);
    const QByteArray headerKey = s_.blockType + s_.blockPort + s_.blockStream;

    if (headerKey == "D1A") {
        sendLinkData();
    } else if (headerKey + s_.commandLetter == "C1AC") {
        connectLink();
    } else if (headerKey + s_.commandLetter == "C1AD") {
        disconnectLink();
    } else if (headerKey + s_.commandPrefix == "C1AMY") {
        setOwnCall();
    } else if (isConfigurationCommand(s_.currentBlock)) {
        sendBlock("C00");
    } else if (hostcodec::isFramed(s_.currentBlock, "q")) {
        leaveHostMode();
    } else if (hostcodec::isFramed(s_.currentBlock, "C20S")) {
        sendLinkStatus();
    } else if (hostcodec::isFramed(s_.currentBlock, "?")) {
        sendBlock("C00");
    } else {
        logLine("ERROR Unknown Hostmode Client request>");
        logLine(s_.currentBlock);
    }
}

void Bridge::sendLinkData() {
    s_.txData = KAMtoAX25(s_.blockData);
    s_.sendOk = AGWAPIX1.ax25Send(engineChannel(s_.channelId), s_.txData);
    if (!s_.sendOk) {
        logLine("ERROR AX25Send not accepted");
        logLine(s_.blockData);
    }
}

void Bridge::connectLink() {
    switch (s_.linkState) {
    case kConnected:
        sendBlock(kReconnectRefused.toByteArray() + "CONNECTED to " + s_.remoteCall);
        return;
    case kConnectInProgress:
        sendBlock(kReconnectRefused.toByteArray() + "CONNECT in progress " + s_.targetCall);
        return;
    case kDisconnectInProgress:
        sendBlock(kReconnectRefused.toByteArray() + "DISC in progress " + s_.remoteCall);
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
    ConnectRequest request = parseConnectRequest(s_.blockData);
    s_.targetCall = std::move(request.targetCall);
    s_.viaPath = std::move(request.viaPath);
    s_.linkState = kConnectInProgress;
    s_.channelId = AGWAPIX1.ax25Connect(*radioPort, s_.myCall, s_.targetCall, s_.viaPath);
    sendBlock("C00");
}

void Bridge::disconnectLink() {
    if (s_.linkState == kDisconnected) {
        sendBlock("C00Can't DISCONNECT, A/V Link state is: DISCONNECTED");
        return;
    }
    const qint32 channel = engineChannel(s_.channelId);
    s_.disconnectOk = AGWAPIX1.ax25Disconnect(channel);
    if (!s_.disconnectOk) {
        logLine("ERROR disconnect method fail" + QByteArray::number(channel));
    }
    sendBlock("C00");
    s_.linkState = kDisconnectInProgress;
}

void Bridge::setOwnCall() {
    sendBlock("C00");
    AGWAPIX1.unregisterCall(s_.myCall);
    s_.myCall = trimBlanks(QByteArrayView(s_.blockData).sliced(2)).toUpper();
    AGWAPIX1.registerCall(s_.myCall);
    showBox(FrontEnd::Box::MyCall, s_.myCall);
}

void Bridge::leaveHostMode() {
    s_.hostMode = 0;
    sendRaw("INTFACE was HOST\r");
    sendRaw("cmd:\r");
}

void Bridge::sendLinkStatus() {
    switch (s_.linkState) {
    case kDisconnected:
        sendBlock(kFreeBytes.toByteArray() + "A/V DISCONNECTED\r");
        return;
    case kConnected:
        sendBlock(kFreeBytes.toByteArray() + "A/V CONNECTED to " + s_.remoteCall);
        return;
    case kConnectInProgress:
        sendBlock(kFreeBytes.toByteArray() + "A/V CONNECT in progress " + s_.targetCall);
        return;
    case kDisconnectInProgress:
        sendBlock(kFreeBytes.toByteArray() + "A/V DISC in progress " + s_.remoteCall);
        return;
    }
}
