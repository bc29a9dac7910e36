#include "support/bridgefixture.h"

#include "client/hostcodec.h"

#include <QSignalSpy>
#include <QTest>

namespace {

BridgeOptions fixtureOptions(const QByteArray &fields, quint16 listenPort) {
    BridgeOptions options;
    options.commandLine = fields + "," + QByteArray::number(listenPort);
    return options;
}

} // namespace

BridgeFixture::BridgeFixture(const QByteArray &fields, Load load)
    : bridge(frontEnd, engine, fixtureOptions(fields, port)) {
    if (load == Load::Loaded) {
        bridge.Form_Load();
    }
}

bool BridgeFixture::connectClient(QTcpSocket &socket) {
    const QByteArray acceptLine = kAcceptLine.toByteArray();
    const qsizetype accepted = frontEnd.lines.count(acceptLine);
    socket.connectToHost(QHostAddress::LocalHost, port);
    return QTest::qWaitFor([&] { return frontEnd.lines.count(acceptLine) > accepted; }, kTimeoutMs);
}

bool BridgeFixture::deliver(QTcpSocket &socket, const QByteArray &bytes) {
    // Connected after the bridge's own handler, the spy hears an arrival once it is handled.
    QSignalSpy arrivals(&bridge.clientSocket(), &ClientTransport::dataArrival);
    socket.write(bytes);
    return arrivals.wait(kTimeoutMs) && socket.bytesToWrite() == 0;
}

QByteArray BridgeFixture::receive(QTcpSocket &socket, qsizetype count) {
    (void)QTest::qWaitFor([&] { return socket.bytesAvailable() >= count; }, kTimeoutMs);
    return socket.read(count);
}

bool BridgeFixture::enterHostMode() {
    bridge.dispatchClientData("RESET\r");
    return receive(client, 6) == "\300\300S00\300";
}

void BridgeFixture::setLinkUp(Bridge &bridge, const QByteArray &remoteCall,
                              hostcodec::Stream stream, qint32 channelId) {
    StreamLinks &links = bridge.state().links;
    links.at(stream).state = kConnected;
    links.at(stream).connection.remoteCall = remoteCall;
    links.assignChannel(stream, channelId);
}

void BridgeFixture::setHostModeWithLinkUp(const QByteArray &remoteCall) {
    bridge.state().hostMode = 1;
    setLinkUp(bridge, remoteCall);
}

bool BridgeFixture::hostModeWithLinkUp(const QByteArray &remoteCall) {
    if (!connectClient(client) || !enterHostMode()) {
        return false;
    }
    setHostModeWithLinkUp(remoteCall);
    return true;
}

QByteArray BridgeFixture::probe() {
    if (bridge.state().hostMode == 1) {
        bridge.dispatchClientData("\300?\300");
        return "\300C00\300";
    }
    bridge.dispatchClientData("\r");
    return "cmd:\r";
}

QByteArray BridgeFixture::clientGets(const std::function<void()> &action) {
    action();
    const QByteArray marker = hostcodec::frame("MARK");
    bridge.sendBlock("MARK");
    QByteArray received;
    (void)QTest::qWaitFor(
        [&] {
            received += client.readAll();
            return received.endsWith(marker);
        },
        kTimeoutMs);
    return received.endsWith(marker) ? received.chopped(marker.size()) : "(no marker)";
}
