// A bridge with the engine double and a recording front end, listening on a free loopback
// port, and helpers for a real TCP client talking to it.
#pragma once

#include "app/bridge.h"
#include "support/fakeengine.h"
#include "support/loopback.h"
#include "support/recorderfrontend.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

inline BridgeOptions loopbackOptions(quint16 listenPort) {
    BridgeOptions options;
    options.commandLine = "N0CALL,1,true,8000," + QByteArray::number(listenPort);
    return options;
}

struct LoopbackBridge {
    static constexpr int kTimeoutMs = 10000;
    static constexpr QByteArrayView kAcceptLine = "accept winsock connection from client";

    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    quint16 port = freeLoopbackPort();
    Bridge bridge{frontEnd, engine, loopbackOptions(port)};

    LoopbackBridge() { bridge.Form_Load(); }

    // Connects a client and waits until the bridge has accepted it.
    bool connectClient(QTcpSocket &socket) {
        const qsizetype accepted = frontEnd.lines.count(kAcceptLine.toByteArray());
        socket.connectToHost(QHostAddress::LocalHost, port);
        return QTest::qWaitFor(
            [&] { return frontEnd.lines.count(kAcceptLine.toByteArray()) > accepted; }, kTimeoutMs);
    }

    // Writes bytes from socket and waits until the bridge has read them as one arrival.
    bool deliver(QTcpSocket &socket, const QByteArray &bytes) {
        bridge.state().receivedData.clear();
        socket.write(bytes);
        return QTest::qWaitFor([&] { return bridge.state().receivedData == bytes; }, kTimeoutMs);
    }

    // The next count bytes that socket receives; fewer only on timeout.
    static QByteArray receive(QTcpSocket &socket, qsizetype count) {
        (void)QTest::qWaitFor([&] { return socket.bytesAvailable() >= count; }, kTimeoutMs);
        return socket.read(count);
    }

    QTcpSocket client;

    // Switches to host mode and takes the client's reply off the wire.
    bool enterHostMode() {
        bridge.dispatchClientData("RESET\r");
        return receive(client, 6) == "\300\300S00\300";
    }

    // Connects the client, switches to host mode and marks a link to remoteCall up on channel 1,
    // as if the engine had reported it.
    bool hostModeWithLinkUp(const QByteArray &remoteCall = {}) {
        if (!connectClient(client) || !enterHostMode()) {
            return false;
        }
        BridgeState &s = bridge.state();
        s.linkState = kConnected;
        s.remoteCall = remoteCall;
        s.channelId = 1;
        return true;
    }

    // Sends a request that the bridge always answers, in whichever mode it is, and returns the
    // answer: received after the replies under test, it shows they are whole, silence included,
    // without waiting out a timeout.
    QByteArray probe() {
        if (bridge.state().hostMode == 1) {
            bridge.dispatchClientData("\300?\300");
            return "\300C00\300";
        }
        bridge.dispatchClientData("\r");
        return "cmd:\r";
    }
};
