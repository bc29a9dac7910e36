// The packet engine's events and the link state they move: each event finds its stream by the
// engine channel, and link up and down, received data and retry-out reach the client as status
// and data blocks on that stream ("S1B", "D1B"). Callers are given the first free stream that
// takes calls.
#include "bridge/bridge.h"
#include "bridge/numbers.h"

#include <optional>

namespace {

// A TCP port number.
constexpr qint32 kMinTcpPort = 1;
constexpr qint32 kMaxTcpPort = 65535;

QByteArray endCauseText(LinkEnd cause) {
    switch (cause) {
    case LinkEnd::Asked:
        return "asked by the client";
    case LinkEnd::RetryOut:
        return "retry-out";
    case LinkEnd::EngineLost:
        return "the packet engine connection ended";
    case LinkEnd::ShutDown:
        return "Varnel is shutting down";
    case LinkEnd::Remote:
        break;
    }
    return "ended by the remote station";
}

// "1:02:03": how long a link lasted.
QByteArray durationText(qint64 ms) {
    const qint64 seconds = ms / 1000;
    return QByteArray::number(seconds / 3600) + ':' +
           QByteArray::number(seconds / 60 % 60).rightJustified(2, '0') + ':' +
           QByteArray::number(seconds % 60).rightJustified(2, '0');
}

} // namespace

void Bridge::connectEngine() {
    connect(&engine_, &PacketEngine::OnReady, this, &Bridge::AGWAPIX1_OnReady);
    connect(&engine_, &PacketEngine::OnRegister, this, &Bridge::AGWAPIX1_OnRegister);
    connect(&engine_, &PacketEngine::OnAX25Connect, this, &Bridge::AGWAPIX1_OnAX25Connect);
    connect(&engine_, &PacketEngine::OnAX25Disconnect, this, &Bridge::AGWAPIX1_OnAX25Disconnect);
    connect(&engine_, &PacketEngine::OnAX25Receive, this, &Bridge::AGWAPIX1_OnAX25Receive);
    connect(&engine_, &PacketEngine::OnRetryOut, this, &Bridge::AGWAPIX1_OnRetryOut);
    connect(&engine_, &PacketEngine::report, this, &Bridge::logLine);
    // Client data that the engine cannot take yet waits on the client's wire.
    connect(&engine_, &PacketEngine::backlogChanged, clientSocket_.get(),
            &ClientTransport::setReadingHeld);
}

void Bridge::startEngine() {
    const std::optional<qint32> port = roundHalfEven(s_.enginePort);
    if (!port || *port < kMinTcpPort || *port > kMaxTcpPort) {
        fail("ERROR engine port " + QByteArray::number(s_.enginePort, 'g', 15) +
             ": not a TCP port (1 to 65535)");
        return;
    }
    engine_.setEngineHost(options_.engineHost);
    engine_.setEnginePort(*port);
    engine_.setEnabled(true);
    engine_.setActive(true);
    engine_.setOnline(true);
}

void Bridge::AGWAPIX1_OnReady() {
    logLine("EVENT: PE is ready");
    logLine("AGWPE version " + engine_.version());
    if (!s_.myCall.isEmpty()) {
        engine_.registerCall(s_.myCall);
    }
}

void Bridge::AGWAPIX1_OnRegister(const QByteArray &call) {
    showBox(FrontEnd::Box::MyCall, call);
}

void Bridge::AGWAPIX1_OnAX25Connect(qint32 channelId) {
    ConnectionInfo reported;
    engine_.connectionInfo(channelId, reported);
    if (const std::optional<hostcodec::Stream> stream = s_.links.findByChannel(channelId)) {
        StreamLink &link = s_.links.at(*stream);
        if (link.state == kConnectInProgress) {
            link.connection = reported;
            linkUp(*stream);
        }
        return;
    }
    takeCaller(channelId, reported);
}

void Bridge::takeCaller(qint32 channelId, const ConnectionInfo &caller) {
    const char port = s_.callerPort;
    if (!clientConnected()) {
        // A caller with nobody to talk to would only be left hanging.
        logLine("Incoming link from " + caller.remoteCall + " refused: no client connected");
        refuseLink(channelId);
        return;
    }
    if (double(caller.radioPort) != s_.agwPort && !s_.acceptAny) {
        refuseLink(channelId);
        return;
    }
    const std::optional<hostcodec::Stream> stream =
        s_.links.firstFree(port, s_.limits.callerStreamsOn(port));
    if (!stream) {
        refuseBusy(channelId, caller, port);
        return;
    }
    StreamLink &link = s_.links.at(*stream);
    link.connection = caller;
    link.incoming = true;
    s_.links.assignChannel(*stream, channelId);
    s_.currentStream = *stream;
    linkUp(*stream);
}

void Bridge::linkUp(hostcodec::Stream stream) {
    StreamLink &link = s_.links.at(stream);
    link.state = kConnected;
    link.upSince.start();
    logLine("Link " + streamName(stream) + " up: " + link.connection.remoteCall +
            (link.incoming ? ", incoming" : ", outgoing"));
    sendBlock(linkBlock('S', stream) + "*** CONNECTED to " + link.connection.remoteCall);
}

// The engine has already taken the call; a KAM would have answered it busy, so the caller
// hears that before the link goes down.
void Bridge::refuseBusy(qint32 channelId, const ConnectionInfo &caller, char port) {
    logLine("Incoming link from " + caller.remoteCall +
            " refused as busy: no free stream on port " + port + " takes calls (USERS " +
            StreamLimits::show(s_.limits.users()) + ")");
    engine_.ax25Send(channelId, "*** " + s_.myCall + " busy, try later\r");
    refuseLink(channelId);
}

void Bridge::refuseLink(qint32 channelId) {
    if (!engine_.ax25Disconnect(channelId)) {
        logLine("Disconnect nonauthorized accept failed iChannelId " +
                QByteArray::number(channelId));
    }
}

void Bridge::AGWAPIX1_OnAX25Disconnect(qint32 channelId) {
    const std::optional<hostcodec::Stream> stream = s_.links.findByChannel(channelId);
    if (!stream) {
        return;
    }
    const StreamLink ended = s_.links.release(*stream);
    logLinkEnd(*stream, ended);
    sendBlock(linkBlock('S', *stream) + "*** DISCONNECTED");
}

void Bridge::logLinkEnd(hostcodec::Stream stream, const StreamLink &ended) {
    // The engine's disconnect does not say who ended the link: what the bridge saw does.
    const LinkEnd cause = ended.endCause.value_or(
        engine_.engineState() == PacketEngine::EngineState::Ready ? LinkEnd::Remote
                                                                  : LinkEnd::EngineLost);
    QByteArray line = "Link " + streamName(stream) + " ended: " + ended.remoteCall() + ", ";
    if (ended.upSince.isValid()) {
        line += QByteArray::number(ended.bytesSent) + " bytes sent, " +
                QByteArray::number(ended.bytesReceived) + " received, up " +
                durationText(ended.upSince.elapsed());
    } else {
        line += "never connected";
    }
    logLine(line + ", " + endCauseText(cause));
}

void Bridge::AGWAPIX1_OnAX25Receive(qint32 channelId, const QByteArray &data) {
    const std::optional<hostcodec::Stream> stream = s_.links.findByChannel(channelId);
    if (!stream) {
        return;
    }
    StreamLink &link = s_.links.at(*stream);
    if (!clientConnected()) {
        logLine("ERROR no client connected: dropped " + QByteArray::number(data.size()) +
                " bytes received from " + link.connection.remoteCall);
        return;
    }
    link.bytesReceived += data.size();
    sendBlock(linkBlock('D', *stream) + hostcodec::escape(data));
}

void Bridge::AGWAPIX1_OnRetryOut(qint32 channelId) {
    // Only a link the client has: a refused or forgotten one is none of its business.
    if (const std::optional<hostcodec::Stream> stream = s_.links.findByChannel(channelId)) {
        s_.links.at(*stream).endCause = LinkEnd::RetryOut;
        sendBlock(linkBlock('S', *stream) + "*** retry count exceeded");
    }
}

QByteArray Bridge::linkBlock(char type, hostcodec::Stream stream) {
    return QByteArray(1, type) + stream.port + stream.letter;
}
