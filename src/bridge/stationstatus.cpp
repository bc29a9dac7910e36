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

QByteArray linkStateText(const StreamLink &link) {
    switch (link.state) {
    case kConnectInProgress:
        return "connect in progress";
    case kConnected:
        return link.incoming ? "connected, incoming" : "connected, outgoing";
    case kDisconnectInProgress:
        return "disconnect in progress";
    case kDisconnected:
        break;
    }
    return "disconnected";
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

    QByteArrayList links;
    qsizetype waiting = 0;
    for (const hostcodec::Stream stream : s_.links.busyStreams()) {
        const StreamLink &link = s_.links.at(stream);
        const qsizetype held = engine_.bytesHeld(link.channelId);
        waiting += held;
        links.append(streamName(stream) + " " + link.remoteCall() + " " + linkStateText(link) +
                     ", " + QByteArray::number(held) + " bytes waiting");
    }
    status.links = links.isEmpty() ? QByteArray("none") : links.join('\n');
    status.data = links.isEmpty() ? "no link, FREE BYTES " + QByteArray::number(freeBytes())
                                  : QByteArray::number(waiting) +
                                        " bytes waiting to be delivered, FREE BYTES " +
                                        QByteArray::number(freeBytes());

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
    if (bytesHeldByLinks() > 0 && !deliveryWatch_.isActive()) {
        deliveryWatch_.start();
    }
    if (status != shownStatus_) {
        shownStatus_ = std::move(status);
        frontEnd_.showStatus(shownStatus_);
    }
}
