// The KAM's commands that its terminal mode and its host mode take alike: its parameters, the
// own callsign, the status and the interface setting. Their answers are lines, each ended by CR;
// terminal mode adds its prompt, host mode puts them in a command block.
#include "bridge/blanks.h"
#include "bridge/bridge.h"

namespace {

// The room a KAM reports with nothing in its transmit buffer.
constexpr qsizetype kFreeBytesWhenEmpty = 936;

} // namespace

std::optional<QByteArray> Bridge::answerCommand(const kam::ParsedCommand &parsed) {
    switch (parsed.command.kind) {
    case kam::CommandKind::MyCall:
        if (!parsed.argument.isEmpty()) {
            setOwnCall(parsed.argument);
            return "MYCALL now " + s_.myCall + "\r";
        }
        return "MYCALL " + s_.myCall + "\r";
    case kam::CommandKind::Status:
        return statusText();
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
    engine_.unregisterCall(s_.myCall);
    s_.myCall = call.toUpper();
    engine_.registerCall(s_.myCall);
    showBox(FrontEnd::Box::MyCall, s_.myCall);
}

// The parameters change nothing in the engine, whose settings are its own; the KAM still shows
// what it was told.
QByteArray Bridge::answerSetting(const kam::Command &command, QByteArrayView argument) {
    const QByteArray name = command.name.toByteArray();
    if (!argument.isEmpty()) {
        s_.settings[command.name] = argument.toByteArray();
        return name + " now " + argument.toByteArray() + "\r";
    }
    const auto setting = s_.settings.find(command.name);
    return setting == s_.settings.end() ? name + "\r" : name + " " + setting->second + "\r";
}

// What the engine and its control still hold of the link counts against the room.
qsizetype Bridge::freeBytes() const {
    return qMax(qsizetype(0), kFreeBytesWhenEmpty - engine_.bytesHeld(s_.channelId));
}

QByteArray Bridge::statusText() const {
    QByteArray linkLine = streamName(linkStream()) + " ";
    // The KAM shows what the other station has not yet acknowledged, as bytes(frames).
    if (const qsizetype held = engine_.bytesHeld(s_.channelId);
        held > 0 && s_.linkState != kDisconnected) {
        linkLine += "#" + QByteArray::number(held) + "(" +
                    QByteArray::number(engine_.framesHeld(s_.channelId)) + ") ";
    }
    return "FREE BYTES " + QByteArray::number(freeBytes()) + "\r" + linkLine + stateText() + "\r";
}

QByteArray Bridge::stateText() const {
    switch (s_.linkState) {
    case kConnected:
        return "CONNECTED to " + s_.connection.remoteCall;
    case kConnectInProgress:
        return "CONNECT in progress " + s_.targetCall;
    case kDisconnectInProgress:
        return "DISC in progress " + s_.connection.remoteCall;
    default:
        return "DISCONNECTED";
    }
}

hostcodec::Stream Bridge::linkStream() const {
    return {s_.linkPort, s_.linkStream};
}

// The stream letter and the port as the KAM names them: V for VHF (port 1), H for HF (port 2).
QByteArray Bridge::streamName(hostcodec::Stream stream) {
    return QByteArray(1, stream.letter) + '/' + (stream.port == '2' ? 'H' : 'V');
}
