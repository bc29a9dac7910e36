#include "engine/agwtransmitter.h"

namespace {

// How often a link with frames in the engine asks what it still holds, and how long short data
// waits for more once the client has paused: under a quarter of a 256-byte frame's time on air
// at 9600 bd (0.21 s), so the engine is never left idle for long.
constexpr int kTickMs = 50;
// An engine that has not answered 'Y' within this does not know it (a live engine answers
// within milliseconds).
constexpr qint64 kAnswerTimeoutMs = 3000;
// Data waiting here past this holds the client back, on top of the frames the engine already
// holds. A client that paces itself on the KAM's free room leaves up to that room less the
// frames ahead waiting here (2048 bytes) and must never be held, or its next status poll would
// wait behind its own data.
constexpr qsizetype kMaxWaitingBytes = 4096;
// AX.25 protocol id for connected data without a layer-3 protocol.
constexpr quint8 kPidNoLayer3 = 0xF0;

} // namespace

AgwTransmitter::AgwTransmitter(AgwTransport &connection, QObject *parent)
    : QObject(parent), connection_(connection) {
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, &AgwTransmitter::onTick);
    // Each engine connection is asked afresh: the engine behind the port may have changed.
    connect(&connection_, &AgwTransport::ready, this, [this] { paced_ = true; });
}

bool AgwTransmitter::send(qint32 channelId, const AgwLink &link, QByteArrayView data) {
    auto [it, created] = links_.try_emplace(channelId);
    Link &entry = it->second;
    if (created) {
        entry.address.port = link.wirePort;
        entry.address.callFrom = link.ownCall;
        entry.address.callTo = link.remoteCall;
        if (!paced_) {
            entry.buffer.setUnpaced();
        }
    }
    if (entry.ending == Ending::AtOnce) {
        return false;
    }
    entry.buffer.append(data);
    pump(entry);
    update();
    return true;
}

qsizetype AgwTransmitter::bytesHeld(qint32 channelId) const {
    const auto it = links_.find(channelId);
    return it == links_.end() ? 0 : it->second.buffer.heldBytes();
}

qsizetype AgwTransmitter::framesHeld(qint32 channelId) const {
    const auto it = links_.find(channelId);
    return it == links_.end() ? 0 : it->second.buffer.heldFrames();
}

bool AgwTransmitter::disconnectWhenDelivered(qint32 channelId) {
    const auto it = links_.find(channelId);
    if (it == links_.end()) {
        return false;
    }
    Link &entry = it->second;
    if (entry.ending == Ending::None && !entry.buffer.isEmpty()) {
        entry.ending = Ending::WhenDelivered;
        return true;
    }
    entry.ending = Ending::AtOnce;
    return false;
}

void AgwTransmitter::stop(qint32 channelId) {
    const auto it = links_.find(channelId);
    if (it != links_.end()) {
        it->second.ending = Ending::AtOnce;
    }
}

void AgwTransmitter::outstandingAnswered(qint32 channelId, quint32 frames) {
    const auto it = links_.find(channelId);
    if (it == links_.end()) {
        return;
    }
    it->second.buffer.outstandingAnswered(frames);
    pump(it->second);
    reportDrained();
    update();
}

qsizetype AgwTransmitter::forget(qint32 channelId) {
    const auto it = links_.find(channelId);
    if (it == links_.end()) {
        return 0;
    }
    const qsizetype undelivered = it->second.buffer.clear();
    links_.erase(it);
    update();
    return undelivered;
}

void AgwTransmitter::onTick() {
    for (auto &[channelId, link] : links_) {
        if (link.buffer.isAskingOutstanding() && link.asked.elapsed() > kAnswerTimeoutMs) {
            goUnpaced();
            return;
        }
        if (!link.buffer.isAskingOutstanding() && link.buffer.outstandingFrames() > 0 &&
            link.ending != Ending::AtOnce) {
            askOutstanding(link);
        }
        link.buffer.tick();
        pump(link);
    }
    reportDrained();
    update();
}

void AgwTransmitter::pump(Link &link) {
    if (link.ending == Ending::AtOnce) {
        return;
    }
    bool handedOver = false;
    for (QByteArrayView data = link.buffer.nextFrame(); !data.isEmpty();
         data = link.buffer.nextFrame()) {
        AgwFrame frame = link.address;
        frame.kind = 'D';
        frame.pid = kPidNoLayer3;
        frame.data = data.toByteArray();
        // An engine that is not reading refuses it: the data waits here and the tick retries.
        if (!connection_.send(frame)) {
            break;
        }
        link.buffer.handedOver(frame.data.size());
        handedOver = true;
    }
    // Asked at once, a quick engine has the link idle again before the client's next block.
    if (handedOver && paced_ && !link.buffer.isAskingOutstanding()) {
        askOutstanding(link);
    }
}

void AgwTransmitter::askOutstanding(Link &link) {
    AgwFrame query = link.address;
    query.kind = 'Y';
    if (connection_.send(query)) {
        link.buffer.askedOutstanding();
        link.asked.start();
    }
}

void AgwTransmitter::goUnpaced() {
    paced_ = false;
    emit report("AGW engine " + connection_.address() +
                " does not answer the 'Y' query: data goes to it at once, unpaced, and "
                "FREE BYTES stays at its highest");
    for (auto &[channelId, link] : links_) {
        link.buffer.setUnpaced();
        pump(link);
    }
    reportDrained();
    update();
}

void AgwTransmitter::reportDrained() {
    QList<qint32> drainedIds;
    for (auto &[channelId, link] : links_) {
        if (link.ending == Ending::WhenDelivered && link.buffer.isEmpty()) {
            link.ending = Ending::AtOnce;
            drainedIds.append(channelId);
        }
    }
    for (const qint32 channelId : drainedIds) {
        emit drained(channelId);
    }
}

void AgwTransmitter::update() {
    bool busy = false;
    bool held = false;
    for (const auto &[channelId, link] : links_) {
        // A link ending at once sends nothing more: its bytes wait only to be counted as lost.
        if (link.ending != Ending::AtOnce) {
            busy = busy || !link.buffer.isEmpty();
            held = held || link.buffer.waitingBytes() >= kMaxWaitingBytes;
        }
    }
    if (busy && !tick_.isActive()) {
        tick_.start();
    } else if (!busy) {
        tick_.stop();
    }
    if (held != held_) {
        held_ = held;
        emit holdChanged(held);
    }
}
