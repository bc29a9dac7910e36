// The station's status for the front end: worked out afresh after every event that can change
// it, and passed on only when it has changed, so that a flood of client requests costs one
// status per arrival at most. Data waiting for delivery drains without an event the bridge
// hears, so only while some waits is the status looked at again on a timer.
#include "bridge/bridge.h"

namespace {

// Often enough to watch a transfer drain, rarely enough to cost nothing.
constexpr int kDeliveryWatchMs = 500;

QByteArray engineText(PacketEngine::EngineState state, const QByteArray &address,
                      const QByteArray &version) {
    switch (state) {
    case PacketEngine::EngineState::Off:
        return "off";
    case PacketEngine::EngineState::Connecting:
        return "connecting to " + address;
    case PacketEngine::EngineState::Unreachable:
        return "NOT REACHABLE at " + address + ", trying again";
    case PacketEngine::EngineState::Ready:
        return "ready at " + address + ", version " + version;
    }
    return {};
}

} // namespace

void Bridge::connectStatus() {
    // Connected after the handlers, so the status shows what they made of each event.
    const auto update = [this] { updateStatus(); };
    connect(clientSocket_.get(), &ClientTransport::connectionRequest, this, update);
    connect(clientSocket_.get(), &ClientTransport::dataArrival, this, update);
    connect(clientSocket_.get(), &ClientTransport::peerClosed, this, update);
    connect(clientSocket_.get(), &ClientTransport::report, this, update);
    connect(&engine_, &PacketEngine::engineStateChanged, this, update);
    connect(&engine_, &PacketEngine::OnReady, this, update);
    connect(&engine_, &PacketEngine::OnAX25Connect, this, update);
    connect(&engine_, &PacketEngine::OnAX25Disconnect, this, update);
    connect(&engine_, &PacketEngine::closed, this, update);
    deliveryWatch_.setSingleShot(true);
    deliveryWatch_.setInterval(kDeliveryWatchMs);
    connect(&deliveryWatch_, &QTimer::timeout, this, update);
}

StationStatus Bridge::stationStatus() const {
    StationStatus status;
    const PacketEngine::EngineState engineState = engine_.engineState();
    status.engine = engineText(engineState, engine_.engineAddress(), engine_.version());

    const QByteArray mode = s_.hostMode == 1 ? "host mode" : "terminal mode";
    status.client = clientSocket_->description() + ", " + mode;

    switch (s_.linkState) {
    case kDisconnected:
        status.link = "none";
        break;
    case kConnectInProgress:
        status.link = "connect in progress to " + s_.targetCall;
        break;
    case kConnected:
        status.link = "connected to " + s_.connection.remoteCall + " (port " + s_.linkPort +
                      ", stream " + s_.linkStream + ")";
        break;
    case kDisconnectInProgress:
        status.link = "disconnect in progress from " + s_.connection.remoteCall;
        break;
    }
    status.data = QByteArray::number(engine_.bytesHeld(s_.channelId)) +
                  " bytes waiting to be delivered, FREE BYTES " + QByteArray::number(freeBytes());

    QByteArrayList problems = failures_;
    if (const QByteArray lost = clientSocket_->problem(); !lost.isEmpty()) {
        problems.append(lost);
    }
    if (engineState == PacketEngine::EngineState::Unreachable) {
        // The engine's row has its address, the log the reason.
        problems.append("the packet engine is not reachable");
    }
    status.problem = problems.join("; ");
    return status;
}

void Bridge::updateStatus() {
    StationStatus status = stationStatus();
    if (s_.linkState != kDisconnected && engine_.bytesHeld(s_.channelId) > 0 &&
        !deliveryWatch_.isActive()) {
        deliveryWatch_.start();
    }
    if (status != shownStatus_) {
        shownStatus_ = std::move(status);
        frontEnd_.showStatus(shownStatus_);
    }
}
