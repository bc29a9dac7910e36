// The packet engine's events and the link state they move: link up and down, received data
// and retry-out reach the client as status and data blocks on the link's port and stream
// ("S1A", "D1A").
#include "bridge/bridge.h"
#include "bridge/numbers.h"

#include <optional>

namespace {

// A TCP port number.
constexpr qint32 kMinTcpPort = 1;
constexpr qint32 kMaxTcpPort = 65535;

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
    // What the query does not fill in keeps its value. Only a link taken on becomes the
    // client's: a refused caller must not take its place in the status texts.
    ConnectionInfo reported = s_.connection;
    engine_.connectionInfo(channelId, reported);

    const bool portRefused = double(reported.radioPort) != s_.agwPort && !s_.acceptAny;
    if (s_.linkState == kDisconnected && !clientConnected()) {
        // A caller with nobody to talk to would only be left hanging.
        logLine("Incoming link from " + reported.remoteCall + " refused: no client connected");
        refuseLink(channelId);
    } else if (s_.linkState == kDisconnected && !portRefused) {
        s_.linkState = kConnected;
        s_.channelId = channelId;
        s_.connection = reported;
        // As on a KAM with one stream for callers: the first one, on the client's port.
        s_.linkPort = s_.clientLinkPort;
        s_.linkStream = 'A';
        sendBlock(linkBlock('S') + "*** CONNECTED to " + s_.connection.remoteCall);
    } else if (s_.linkState == kConnectInProgress && channelId == s_.channelId) {
        s_.linkState = kConnected;
        s_.connection = reported;
        sendBlock(linkBlock('S') + "*** CONNECTED to " + s_.connection.remoteCall);
    } else {
        refuseLink(channelId);
    }
}

void Bridge::refuseLink(qint32 channelId) {
    if (!engine_.ax25Disconnect(channelId)) {
        logLine("Disconnect nonauthorized accept failed iChannelId " +
                QByteArray::number(channelId));
    }
}

void Bridge::AGWAPIX1_OnAX25Disconnect(qint32 channelId) {
    if (channelId == s_.channelId) {
        s_.linkState = kDisconnected;
        sendBlock(linkBlock('S') + "*** DISCONNECTED");
    }
}

void Bridge::AGWAPIX1_OnAX25Receive(qint32 channelId, const QByteArray &data) {
    if (channelId != s_.channelId) {
        return;
    }
    if (!clientConnected()) {
        logLine("ERROR no client connected: dropped " + QByteArray::number(data.size()) +
                " bytes received from " + s_.connection.remoteCall);
        return;
    }
    sendBlock(linkBlock('D') + hostcodec::escape(data));
}

void Bridge::AGWAPIX1_OnRetryOut(qint32 channelId) {
    // Only the client's own link: a refused or forgotten one is none of its business.
    if (channelId == s_.channelId && s_.linkState != kDisconnected) {
        sendBlock(linkBlock('S') + "*** retry count exceeded");
    }
}

QByteArray Bridge::linkBlock(char type) const {
    return QByteArray(1, type) + s_.linkPort + s_.linkStream;
}
