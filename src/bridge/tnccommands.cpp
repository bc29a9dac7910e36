// The KAM's commands that its terminal mode and its host mode take alike: its parameters, the
// own callsign, the status and the interface setting. Their answers are lines, each ended by CR;
// terminal mode adds its prompt, host mode puts them in a command block.
#include "bridge/blanks.h"
#include "bridge/bridge.h"

#include <algorithm>
#include <utility>

namespace {

// The transmit buffer that all streams share, as a KAM's does: what FREE BYTES shows with
// nothing waiting. Clients send no more than it shows between two status polls (Paclink polls
// every 1.5 s). The engine is handed 32 frames of 256 bytes ahead (8192 bytes, all unacknowledged
// for a whole transmission), so on top of those the buffer must hold what the link sends until
// the next poll, 1.5 s at 9600 bd (1800 bytes), or the link idles after every acknowledgement.
constexpr qsizetype kFreeBytesWhenEmpty = 10240;

} // namespace

std::optional<QByteArray> Bridge::answerCommand(const kam::ParsedCommand &parsed,
                                                hostcodec::Stream stream) {
    switch (parsed.command.kind) {
    case kam::CommandKind::MyCall:
        if (!parsed.argument.isEmpty()) {
            setOwnCall(parsed.argument);
            return "MYCALL now " + s_.myCall + "\r";
        }
        return "MYCALL " + s_.myCall + "\r";
    case kam::CommandKind::Status:
        return statusText(stream);
    case kam::CommandKind::Tries:
        // The engine does not tell how often it has tried to reach the other station.
        return QByteArray("TRIES 0\r");
    case kam::CommandKind::Interface: {
        // Whatever is asked, the interface stays what the client has switched it to.
        const QByteArray mode = s_.hostMode == 1 ? "HOST" : "TERMINAL";
        return (parsed.argument.isEmpty() ? "INTFACE " : "INTFACE was ") + mode + "\r";
    }
    case kam::CommandKind::Setting:
        return answerSetting(parsed.command, parsed.argument);
    case kam::CommandKind::Connect:
    case kam::CommandKind::Disconnect:
    case kam::CommandKind::Reset:
    case kam::CommandKind::HfMode:
        break;
    }
    return std::nullopt;
}

// "MYCALL A/B" sets the calls of both radio ports, "MYCALL /B" only the second; Varnel's links
// have one callsign, the first one given.
void Bridge::setOwnCall(QByteArrayView argument) {
    const qsizetype slash = argument.indexOf('/');
    QByteArray call = trimBlanks(slash < 0   ? argument
                                 : slash > 0 ? argument.first(slash)
                                             : argument.sliced(1));
    // SSID 0 is the plain call, which is how the KAM shows it.
    if (call.endsWith("-0")) {
        call.chop(2);
    }
    call = call.toUpper();
    if (call != s_.myCall) {
        logLine("Own callsign " + s_.myCall + " replaced by " + call + ", as the client asked");
    }
    engine_.unregisterCall(s_.myCall);
    s_.myCall = call;
    engine_.registerCall(s_.myCall);
    showBox(FrontEnd::Box::MyCall, s_.myCall);
}

// The parameters change nothing in the engine, whose settings are its own; the KAM still shows
// what it was told.
QByteArray Bridge::answerSetting(const kam::Command &command, QByteArrayView argument) {
    const QByteArray name = command.name.toByteArray();
    if (!argument.isEmpty()) {
        applySetting(command, argument);
        return name + " now " + argument.toByteArray() + "\r";
    }
    const auto setting = s_.settings.find(command.name);
    return setting == s_.settings.end() ? name + "\r" : name + " " + setting->second + "\r";
}

void Bridge::applySetting(const kam::Command &command, QByteArrayView value) {
    s_.settings[command.name] = value.toByteArray();
    if (command.name == "MAXUSERS") {
        s_.limits.setMaxUsers(value);
    } else if (command.name == "USERS") {
        s_.limits.setUsers(value);
    }
}

qsizetype Bridge::bytesHeldByLinks() const {
    qsizetype held = 0;
    for (const hostcodec::Stream stream : s_.links.busyStreams()) {
        held += engine_.bytesHeld(s_.links.at(stream).channelId);
    }
    return held;
}

// What the engine and its control still hold of every link counts against the shared room.
qsizetype Bridge::freeBytes() const {
    return qMax(qsizetype(0), kFreeBytesWhenEmpty - bytesHeldByLinks());
}

// A line for every stream that carries a link or an attempt, and for the stream asked about
// (the current one when the status is asked on stream 0), in port and stream order.
QByteArray Bridge::statusText(hostcodec::Stream addressed) const {
    const hostcodec::Stream shown = addressed.isLink() ? addressed : s_.currentStream;
    QList<hostcodec::Stream> streams = s_.links.busyStreams();
    if (!streams.contains(shown)) {
        streams.append(shown);
        std::sort(streams.begin(), streams.end(), [](hostcodec::Stream a, hostcodec::Stream b) {
            return std::pair(a.port, a.letter) < std::pair(b.port, b.letter);
        });
    }
    QByteArray text = "FREE BYTES " + QByteArray::number(freeBytes()) + "\r";
    for (const hostcodec::Stream stream : streams) {
        const StreamLink &link = s_.links.at(stream);
        text += streamName(stream) + " ";
        // The KAM shows what the other station has not yet acknowledged, as bytes(frames).
        if (const qsizetype held = engine_.bytesHeld(link.channelId); held > 0 && !link.isFree()) {
            text += "#" + QByteArray::number(held) + "(" +
                    QByteArray::number(engine_.framesHeld(link.channelId)) + ") ";
        }
        text += stateText(link) + "\r";
    }
    return text;
}

QByteArray Bridge::stateText(const StreamLink &link) {
    switch (link.state) {
    case kConnected:
        return "CONNECTED to " + link.remoteCall();
    case kConnectInProgress:
        return "CONNECT in progress " + link.remoteCall();
    case kDisconnectInProgress:
        return "DISC in progress " + link.remoteCall();
    case kDisconnected:
        break;
    }
    return "DISCONNECTED";
}

// The stream letter and the port as the KAM names them: V for VHF (port 1), H for HF (port 2).
QByteArray Bridge::streamName(hostcodec::Stream stream) {
    return QByteArray(1, stream.letter) + '/' + (stream.port == '2' ? 'H' : 'V');
}
