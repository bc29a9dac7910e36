// Host-mode requests. Blocks are addressed to a port ('1' or '2') and a stream: data and link
// commands on a link stream ('A' to 'Z') belong to that stream's link; the text of a command
// block is a command line as typed at the KAM's prompt, and every command block gets an answer.
// The quit block leaves host mode.
//
// The configuration commands of the original clients are recognised on the whole block as
// received, escapes not undone, and get the KAM's empty answer, as ever.
#include "bridge/bridge.h"
#include "bridge/numbers.h"
#include "client/hostcodec.h"

#include <QByteArrayView>

#include <algorithm>
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

// The KAM's HF specials (transmit, receive, back to packet, clear the HF buffer): they mean
// nothing on packet links, and a client sends them in its ordinary HF changeover.
constexpr std::array<QByteArrayView, 5> kHfSpecials = {"T", "E", "R", "X", "\x18"};

// Whether block is one of the contents, framed.
template <std::size_t N>
bool isFramedAsOneOf(QByteArrayView block, const std::array<QByteArrayView, N> &contents) {
    return std::any_of(contents.begin(), contents.end(), [block](QByteArrayView content) {
        return hostcodec::isFramed(block, content);
    });
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
    if (stream && stream->isLink()) {
        s_.callerPort = stream->port;
    }
    if (hostcodec::isFramed(block, "q") || hostcodec::isFramed(block, "Q")) {
        leaveHostMode();
    } else if (hostcodec::isFramed(block, "?")) {
        sendBlock("C00");
    } else if (isFramedAsOneOf(block, kConfigurationCommands)) {
        // Acknowledged empty, as ever; the stream limits among them still count.
        if (const std::optional<kam::ParsedCommand> parsed = kam::parseCommand(fields.data)) {
            applySetting(parsed->command, parsed->argument);
        }
        sendBlock("C00");
    } else if (isFramedAsOneOf(block, kHfSpecials)) {
        // Taken quietly, as a KAM in packet mode does.
    } else if (fields.header.startsWith('C')) {
        interpretHostCommand(block, stream, fields.data);
    } else if (fields.header.startsWith('D') && stream && stream->isLink()) {
        sendLinkData(*stream, fields.data);
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
    const kam::CommandKind kind = parsed->command.kind;
    if (kind == kam::CommandKind::Connect && stream->isLink()) {
        connectLink(*stream, parsed->argument);
    } else if (kind == kam::CommandKind::Disconnect && stream->isLink()) {
        disconnectLink(*stream);
    } else if (kind == kam::CommandKind::MyCall && !parsed->argument.isEmpty()) {
        sendBlock("C00");
        setOwnCall(parsed->argument);
    } else if (kind == kam::CommandKind::HfMode) {
        // The client only needs to hear that its KAM took the command. Clients re-arm their HF
        // mode after every session, so the operator hears of it once per client.
        if (!s_.hfModeLogged) {
            s_.hfModeLogged = true;
            logLine(parsed->command.name.toByteArray() +
                    " not carried out: Varnel carries packet links only");
        }
        sendBlock("C00");
    } else if (const std::optional<QByteArray> answer = answerCommand(*parsed, *stream)) {
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

void Bridge::sendLinkData(hostcodec::Stream stream, QByteArrayView data) {
    const QByteArray linkData = hostcodec::unescape(data);
    StreamLink &link = s_.links.at(stream);
    // Data for a stream that carries no link is as data with no link up.
    if (link.isFree() || !engine_.ax25Send(link.channelId, linkData)) {
        logLine("ERROR AX25Send not accepted");
        logLine(linkData);
        return;
    }
    link.bytesSent += linkData.size();
}

void Bridge::connectLink(hostcodec::Stream stream, QByteArrayView argument) {
    const StreamLink &link = s_.links.at(stream);
    if (!link.isFree()) {
        // The stream's own link stays as it is, so the client hears of no change on it.
        sendBlock("C00Can't RECONNECT, " + streamName(stream) +
                  " Link state is: " + stateText(link));
        return;
    }
    ConnectRequest request = parseConnectRequest(argument);
    if (const std::optional<QByteArray> refusal = connectRefusal(stream, request.targetCall)) {
        logLine("Connect on " + streamName(stream) + " to " + request.targetCall +
                " refused: " + *refusal);
        // Clients that wait for the stream's outcome hear it at once.
        sendBlock("C00" + *refusal);
        sendBlock(linkBlock('S', stream) + "*** DISCONNECTED");
        return;
    }
    s_.currentStream = stream;
    StreamLink &attempt = s_.links.at(stream);
    attempt.targetCall = std::move(request.targetCall);
    attempt.state = kConnectInProgress;
    s_.links.assignChannel(stream, engine_.ax25Connect(*roundHalfEven(s_.agwPort), s_.myCall,
                                                       attempt.targetCall, request.viaPath));
    sendBlock("C00");
}

std::optional<QByteArray> Bridge::connectRefusal(hostcodec::Stream stream,
                                                 const QByteArray &targetCall) const {
    if (stream.letter - 'A' >= s_.limits.streamsOn(stream.port) ||
        (s_.limits.singleLink() && !s_.links.busyStreams().isEmpty())) {
        return "Can't CONNECT, " + streamName(stream) + " is beyond MAXUSERS " +
               StreamLimits::show(s_.limits.maxUsers());
    }
    if (const std::optional<hostcodec::Stream> linked = s_.links.findByRemote(targetCall)) {
        return "Already connected on stream " + QByteArray(1, linked->letter);
    }
    if (!engine_.takesConnects()) {
        return QByteArray("Can't CONNECT, the packet engine is not ready");
    }
    // A radio port beyond 32 bits (a command-line typo) reaches no engine port.
    if (!roundHalfEven(s_.agwPort)) {
        return QByteArray("Can't CONNECT, radio port out of range");
    }
    return std::nullopt;
}

void Bridge::disconnectLink(hostcodec::Stream stream) {
    StreamLink &link = s_.links.at(stream);
    if (link.isFree()) {
        sendBlock("C00Can't DISCONNECT, " + streamName(stream) + " Link state is: DISCONNECTED");
        return;
    }
    if (!engine_.ax25Disconnect(link.channelId)) {
        logLine("ERROR disconnect method fail" + QByteArray::number(link.channelId));
    }
    sendBlock("C00");
    link.state = kDisconnectInProgress;
    link.endCause = LinkEnd::Asked;
}

void Bridge::leaveHostMode() {
    s_.hostMode = 0;
    sendRaw("INTFACE was HOST\r");
    sendRaw("cmd:\r");
}
