// The packet engine's events and the link state they move: link up and down, received data
// and retry-out reach the client as "S1A" status and "D1A" data blocks.
#include "app/bridge.h"
#include "app/numbers.h"

#include <optional>

namespace {

// A TCP port number.
constexpr qint32 kMinTcpPort = 1;
constexpr qint32 kMaxTcpPort = 65535;

} // namespace

void Bridge::connectEngine() {
    connect(&AGWAPIX1, &PacketEngine::OnReady, this, &Bridge::AGWAPIX1_OnReady);
    connect(&AGWAPIX1, &PacketEngine::OnRegister, this, &Bridge::AGWAPIX1_OnRegister);
    connect(&AGWAPIX1, &PacketEngine::OnAX25Connect, this, &Bridge::AGWAPIX1_OnAX25Connect);
    connect(&AGWAPIX1, &PacketEngine::OnAX25Disconnect, this, &Bridge::AGWAPIX1_OnAX25Disconnect);
    connect(&AGWAPIX1, &PacketEngine::OnAX25Receive, this, &Bridge::AGWAPIX1_OnAX25Receive);
    connect(&AGWAPIX1, &PacketEngine::OnRetryOut, this, &Bridge::AGWAPIX1_OnRetryOut);
    connect(&AGWAPIX1, &PacketEngine::report, this, &Bridge::logLine);
    // Client data that the engine cannot take yet waits in the client's TCP stream.
    connect(&AGWAPIX1, &PacketEngine::backlogChanged, &Winsock1, &ClientSocket::setReadingHeld);
}

void Bridge::startEngine() {
    const std::optional<qint32> port = roundHalfEven(s_.enginePort);
    if (!port || *port < kMinTcpPort || *port > kMaxTcpPort) {
        fail("ERROR engine port " + QByteArray::number(s_.enginePort, 'g', 15) +
             ": not a TCP port (1 to 65535)");
        return;
    }
    AGWAPIX1.setEngineHost(options_.engineHost);
    AGWAPIX1.setEnginePort(*port);
    AGWAPIX1.setEnabled(true);
    AGWAPIX1.setActive(true);
    AGWAPIX1.setOnline(true);
}

void Bridge::AGWAPIX1_OnReady(bool /*fReady*/) {
    logLine("EVENT: PE is ready");
    logLine("AGWPE version " + AGWAPIX1.version());
    if (!s_.myCall.isEmpty()) {
        AGWAPIX1.registerCall(s_.myCall);
    }
}

void Bridge::AGWAPIX1_OnRegister(const QByteArray &szCall, bool /*fFlags*/) {
    showBox(FrontEnd::Box::MyCall, szCall);
}

void Bridge::AGWAPIX1_OnAX25Connect(qint32 iChannelId) {
    // The query writes into the state as through references: what it does not fill in keeps
    // its value.
    ConnectionInfo info{s_.connPort, s_.connText1, s_.remoteCall, s_.connText3,
                        s_.connNum1, s_.connNum2,  s_.connNum3};
    s_.connInfoOk = AGWAPIX1.connectionInfo(iChannelId, info);
    s_.connPort = info.radioPort;
    s_.connText1 = info.ownCall;
    s_.remoteCall = info.remoteCall;
    s_.connText3 = info.viaPath;
    s_.connNum1 = info.num1;
    s_.connNum2 = info.num2;
    s_.connNum3 = info.num3;

    const bool portRefused = double(s_.connPort) != s_.agwPort && !s_.acceptAny;
    if (s_.linkState == kDisconnected && !portRefused) {
        s_.linkState = kConnected;
        s_.channelId = iChannelId;
        sendBlock("S1A*** CONNECTED to " + s_.remoteCall);
    } else if (s_.linkState == kConnectInProgress && double(iChannelId) == s_.channelId) {
        s_.linkState = kConnected;
        sendBlock("S1A*** CONNECTED to " + s_.remoteCall);
    } else {
        s_.disconnectOk = AGWAPIX1.ax25Disconnect(iChannelId);
        if (!s_.disconnectOk) {
            logLine("Disconnect nonauthorized accept failed iChannelId " +
                    QByteArray::number(iChannelId));
        }
    }
}

void Bridge::AGWAPIX1_OnAX25Disconnect(qint32 iChannelId) {
    if (double(iChannelId) == s_.channelId) {
        s_.linkState = kDisconnected;
        sendBlock("S1A*** DISCONNECTED");
    }
}

void Bridge::AGWAPIX1_OnAX25Receive(qint32 iChannelId, const QByteArray &szData) {
    if (double(iChannelId) == s_.channelId) {
        QByteArray data = szData;
        s_.rxData = AX25toKAM(data);
        sendBlock("D1A" + s_.rxData);
    }
}

void Bridge::AGWAPIX1_OnRetryOut(qint32 /*dwPort*/, const QByteArray & /*szFrom*/,
                                 const QByteArray & /*szTo*/, const QByteArray & /*szData*/) {
    sendBlock("S1A***retry count exceeded");
}
