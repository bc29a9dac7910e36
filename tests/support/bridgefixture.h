// A bridge on the engine double with a recording front end, for the tests and benchmarks of
// the bridge. Loaded, it listens on a free loopback port and a real TCP client can talk to it;
// unloaded, it is driven in process only, with no socket and no engine start-up.
#pragma once

#include "bridge/bridge.h"
#include "support/fakeengine.h"
#include "support/loopback.h"
#include "support/recorderfrontend.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QTcpSocket>

#include <functional>

class BridgeFixture {
public:
    static constexpr int kTimeoutMs = 10000;
    static constexpr QByteArrayView kAcceptLine = "accept winsock connection from client";

    enum class Load { Loaded, Unloaded };

    // fields: the command line's first four fields; the fifth, the listen port, is added.
    explicit BridgeFixture(const QByteArray &fields = "N0CALL,1,true,8000",
                           Load load = Load::Loaded);

    // Connects a client and waits until the bridge has accepted it.
    bool connectClient(QTcpSocket &socket);
    bool connectClient() { return connectClient(client); }

    // Writes bytes from socket and waits until the bridge has read them as one arrival.
    bool deliver(QTcpSocket &socket, const QByteArray &bytes);

    // The next count bytes that socket receives; fewer only on timeout.
    static QByteArray receive(QTcpSocket &socket, qsizetype count);

    // Switches to host mode and takes the client's reply off the wire.
    bool enterHostMode();

    // Marks a link to remoteCall up on the stream and channel, as if the engine had reported it.
    static void setLinkUp(Bridge &bridge, const QByteArray &remoteCall = {},
                          hostcodec::Stream stream = {'1', 'A'}, qint32 channelId = 1);
    // The same on stream A of port 1 and channel 1, in host mode.
    void setHostModeWithLinkUp(const QByteArray &remoteCall = {});
    // The same with the client connected.
    bool hostModeWithLinkUp(const QByteArray &remoteCall = {});

    // Sends a request that the bridge always answers, in whichever mode it is, and returns the
    // answer: received after the replies under test, it shows they are whole, silence included,
    // without waiting out a timeout.
    QByteArray probe();

    // Everything the client receives because of action; a marker block sent after it shows
    // where that ends, silence included.
    QByteArray clientGets(const std::function<void()> &action);

    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    quint16 port = freeLoopbackPort();
    Bridge bridge;
    QTcpSocket client;
};
