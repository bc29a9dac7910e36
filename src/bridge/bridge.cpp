#include "bridge/bridge.h"

#include <utility>

Bridge::Bridge(FrontEnd &frontEnd, PacketEngine &engine, BridgeOptions options, QObject *parent)
    : QObject(parent), frontEnd_(frontEnd), engine_(engine),
      clientSocket_(makeClientTransport(options.clientWire, options.listenAddress)),
      options_(std::move(options)) {
    connectClientSocket();
    connectEngine();
    connectStatus();
}

void Bridge::showBox(FrontEnd::Box box, const QByteArray &text) {
    frontEnd_.setBoxText(box, text);
}

void Bridge::fail(const QByteArray &message) {
    logLine(message);
    if (!failures_.contains(message)) {
        failures_.append(message);
    }
    updateStatus();
    frontEnd_.fatalError(message);
}
