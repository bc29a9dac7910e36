// Host-mode requests. Blocks are addressed to a port ('1' or '2') and a stream: data and link
// commands on a link stream ('A' to 'Z') belong to the one link when they are its stream's; the
// text of a command block is a command line as typed at the KAM's prompt, and every command
// block gets an answer. The quit block leaves host mode.
//
// The configuration commands of the original clients are recognised on the whole block as
// received, escapes not undone, and get the KAM's empty answer, as ever.
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

bool isConfigurationCommand(QByteArrayView block) {
    for (QByteArrayView command : kConfigurationCommands) {
        if (hostcodec::isFramed(block, command)) {
            return true;
        }
    }
    return false;
}

// The callsigns of a connect command's argument: the target, and optionally " V " and the
// digipeaters separated by blanks.
struct ConnectRequest {
    QByteArray targetCall;
    QByteArray viaPath; // digipeaters separated by commas
};

ConnectRequest parseConnectRequest(QByteArrayView argument) {
    const qsizetype via = argument.indexOf(kViaMarker);
    if (via < 0) {
        return {argument.toByteArray(), {}};
    }
    return {argument.first(via).toByteArray(),
            argument.sliced(via + kViaMarker.size()).toByteArray().replace(' ', ',')};
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
    const std::optional<hostcodec::Stream> stream = hostcodec::headerStream(fields.header);
    const bool isLinkData = fields.header.startsWith('D') && stream && stream->isLink();

    if (hostcodec::isFramed(block, "q") || hostcodec::isFramed(block, "Q")) {
        leaveHostMode();
    } else if (hostcodec::isFramed(block, "?") || isConfigurationCommand(block)) {
        sendBlock("C00");
    } else if (fields.header.startsWith('C')) {
        interpretHostCommand(block, stream, fields.data);
    } else if (isLinkData && *stream == linkStream()) {
        s_.clientLinkPort = stream->port;
        sendLinkData(fields.data);
    } else if (isLinkData) {
        // Data for a stream that carries no link is as data with no link up.
        logLine("ERROR AX25Send not accepted");
        logLine(hostcodec::unescape(fields.data));
    } else {
        logLine("ERROR Unknown Hostmode Client request>");
        logLine(block);
    }
}

void Bridge::interpretHostCommand(const QByteArray &block, std::optional<hostcodec::Stream> stream,
                                  QByteArrayView text) {
    // The text is a line as typed at the prompt; a CR in it would have ended the line.
    const qsizetype lineEnd = text.indexOf('\r');
    const std::optional<kam::ParsedCommand> parsed =
        kam::parseCommand(lineEnd < 0 ? text : text.first(lineEnd));
    if (!stream || !parsed) {
        refuseHostCommand(block);
        return;
    }
    if (stream->isLink()) {
        s_.clientLinkPort = stream->port;
    }
    const kam::CommandKind kind = parsed->command.kind;
    if (kind == kam::CommandKind::Connect && stream->isLink()) {
        connectLink(*stream, parsed->argument);
    } else if (kind == kam::CommandKind::Disconnect && stream->isLink()) {
        disconnectLink(*stream);
    } else if (kind == kam::CommandKind::MyCall && !parsed->argument.isEmpty()) {
        sendBlock("C00");
        setOwnCall(parsed->argument);
    } else if (kind == kam::CommandKind::HfMode) {
        // The client only needs to hear that its KAM took the command.
        logLine("ERROR " + parsed->command.name.toByteArray() +
                " not carried out: Varnel carries packet links only");
        sendBlock("C00");
    } else if (const std::optional<QByteArray> answer = answerCommand(*parsed)) {
        sendBlock("C00" + *answer);
    } else {
        refuseHostCommand(block);
    }
}

void Bridge::refuseHostCommand(const QByteArray &block) {
    logLine("ERROR Unknown Hostmode Client request>");
    logLine(block);
    sendBlock("C00" + kNotUnderstood.toByteArray());
}

void Bridge::sendLinkData(QByteArrayView data) {
    const QByteArray linkData = hostcodec::unescape(data);
    if (!engine_.ax25Send(s_.channelId, linkData)) {
        logLine("ERROR AX25Send not accepted");
        logLine(linkData);
    }
}

void Bridge::connectLink(hostcodec::Stream stream, QByteArrayView argument) {
    if (s_.linkState != kDisconnected) {
        // One link at a time: on its own stream a second connect is a reconnect, elsewhere
        // the KAM has no stream left.
        const QByteArrayView refusal =
            stream == linkStream() ? "C00Can't RECONNECT, " : "C00Can't CONNECT, ";
        sendBlock(refusal.toByteArray() + streamName(linkStream()) +
                  " Link state is: " + stateText());
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
    ConnectRequest request = parseConnectRequest(argument);
    s_.linkPort = stream.port;
    s_.linkStream = stream.letter;
    s_.targetCall = std::move(request.targetCall);
    s_.linkState = kConnectInProgress;
    s_.channelId = engine_.ax25Connect(*radioPort, s_.myCall, s_.targetCall, request.viaPath);
    sendBlock("C00");
}

void Bridge::disconnectLink(hostcodec::Stream stream) {
    if (s_.linkState == kDisconnected || stream != linkStream()) {
        sendBlock("C00Can't DISCONNECT, " + streamName(stream) + " Link state is: DISCONNECTED");
        return;
    }
    if (!engine_.ax25Disconnect(s_.channelId)) {
        logLine("ERROR disconnect method fail" + QByteArray::number(s_.channelId));
    }
    sendBlock("C00");
    s_.linkState = kDisconnectInProgress;
}

void Bridge::leaveHostMode() {
    s_.hostMode = 0;
    sendRaw("INTFACE was HOST\r");
    sendRaw("cmd:\r");
}
