#include "engine/agwcontrol.h"

#include "engine/agwconnection.h"
#include "engine/callsign.h"

#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

// The AX.25 path field holds eight addresses: the destination and up to seven digipeaters.
constexpr qsizetype kMaxDigipeaters = 7;
// Links the control keeps at once, above the KAM's 52 streams and the attempts called off
// beside them; an engine that reports more gets the extra ones disconnected rather than
// filling memory.
constexpr qsizetype kMaxLinks = 64;
// Registrations waiting for the engine's answer; older ones are forgotten past this.
constexpr qsizetype kMaxPendingRegistrations = 16;
// Switching off, the links' disconnects get this long to be confirmed before TCP closes.
constexpr int kGoodbyeWaitMs = 2000;
// Engine records remembered per connection; past this the oldest is forgotten, and only a
// station met that long ago could find its old digipeater path again.
constexpr std::size_t kMaxRememberedRecords = 256;

// The text of an event, without the NUL that the engine puts after it.
QByteArray eventText(const QByteArray &data) {
    const qsizetype nul = data.indexOf('\0');
    return nul < 0 ? data : data.first(nul);
}

} // namespace

AgwControl::AgwControl(QObject *parent) : AgwControl(std::make_unique<AgwConnection>(), parent) {}

AgwControl::AgwControl(std::unique_ptr<AgwTransport> ownTransport, QObject *parent)
    : PacketEngine(parent), ownTransport_(std::move(ownTransport)), connection_(*ownTransport_) {
    wireTransport();
}

AgwControl::AgwControl(AgwTransport &transport, QObject *parent)
    : PacketEngine(parent), connection_(transport) {
    wireTransport();
}

void AgwControl::wireTransport() {
    goodbye_.setSingleShot(true);
    connect(&goodbye_, &QTimer::timeout, &connection_, &AgwTransport::close);
    connect(&connection_, &AgwTransport::ready, this, &AgwControl::onReady);
    connect(&connection_, &AgwTransport::frameReceived, this, &AgwControl::handleFrame);
    connect(&connection_, &AgwTransport::lost, this, [this] {
        dropAllLinks();
        if (switchingOff_) {
            connection_.close();
        }
    });
    connect(&connection_, &AgwTransport::attemptFailed, this, [this] {
        attemptFailed_ = true;
        noteEngineState();
    });
    connect(&connection_, &AgwTransport::report, this, &PacketEngine::report);
    // Queued: the send that fills the backlog is one of the bridge's own operations.
    connect(
        &connection_, &AgwTransport::backlogChanged, this,
        [this](bool behind) {
            connectionBehind_ = behind;
            updateBacklog();
        },
        Qt::QueuedConnection);
    connect(
        &transmitter_, &AgwTransmitter::holdChanged, this,
        [this](bool holding) {
            transmitHolding_ = holding;
            updateBacklog();
        },
        Qt::QueuedConnection);
    connect(&transmitter_, &AgwTransmitter::drained, this, &AgwControl::ax25Disconnect);
    connect(&transmitter_, &AgwTransmitter::report, this, &PacketEngine::report);
    connect(&connection_, &AgwTransport::closed, this, &AgwControl::onConnectionClosed);
}

void AgwControl::setEngineHost(const QString &host) {
    connection_.setHost(host);
}

void AgwControl::setEnginePort(qint32 port) {
    connection_.setPort(static_cast<quint16>(port));
}

void AgwControl::setEnabled(bool enabled) {
    enabled_ = enabled;
    startIfWanted();
}

void AgwControl::setActive(bool active) {
    active_ = active;
    if (active) {
        startIfWanted();
    } else {
        switchOff();
    }
}

void AgwControl::setOnline(bool online) {
    online_ = online;
    startIfWanted();
}

void AgwControl::startIfWanted() {
    if (enabled_ && active_ && online_) {
        switchingOff_ = false;
        connection_.open();
        connectionOpen_ = true;
        post([this] { noteEngineState(); });
    }
}

void AgwControl::switchOff() {
    switchingOff_ = true;
    if (!connection_.isReady() || links_.isEmpty()) {
        connection_.close();
        return;
    }
    for (const qint32 channelId : links_.channelIds()) {
        transmitter_.stop(channelId);
        connection_.send(linkFrame('d', *links_.find(channelId)));
    }
    goodbye_.start(kGoodbyeWaitMs);
}

PacketEngine::EngineState AgwControl::engineState() const {
    if (!connectionOpen_) {
        return EngineState::Off;
    }
    if (connection_.isReady()) {
        return EngineState::Ready;
    }
    return attemptFailed_ ? EngineState::Unreachable : EngineState::Connecting;
}

QByteArray AgwControl::engineAddress() const {
    return connection_.address();
}

void AgwControl::noteEngineState() {
    const EngineState state = engineState();
    if (state != raisedEngineState_) {
        raisedEngineState_ = state;
        emit engineStateChanged();
    }
}

QByteArray AgwControl::version() const {
    return connection_.version();
}

void AgwControl::registerCall(const QByteArray &call) {
    // Without an engine there is nothing to register with; when it comes, OnReady's handler
    // registers the own callsign.
    if (!connection_.isReady()) {
        return;
    }
    const QByteArray wireCall = canonicalCallsign(call);
    QByteArray problem;
    if (!isValidCallsign(wireCall)) {
        problem = "\"" + call + "\" is not a valid AX.25 callsign";
    } else if (connection_.radioPorts().isEmpty()) {
        problem = "the AGW engine " + connection_.address() + " lists no radio port";
    }
    if (!problem.isEmpty()) {
        postReport("ERROR cannot register " + call + ": " + problem);
        post([this, call] { emit OnRegister(call, false); });
        return;
    }
    sendToAllPorts('X', wireCall);
    registrations_.append({wireCall, call, connection_.radioPorts().size(), false});
    if (registrations_.size() > kMaxPendingRegistrations) {
        registrations_.removeFirst();
    }
}

void AgwControl::unregisterCall(const QByteArray &call) {
    const QByteArray wireCall = canonicalCallsign(call);
    if (connection_.isReady() && isValidCallsign(wireCall)) {
        sendToAllPorts('x', wireCall);
    }
}

qint32 AgwControl::ax25Connect(qint32 radioPort, const QByteArray &ownCall,
                               const QByteArray &targetCall, const QByteArray &viaPath) {
    const qint32 channelId = links_.newChannelId();
    AgwFrame frame;
    const QByteArray problem = connectRequest(radioPort, ownCall, targetCall, viaPath, frame);
    const QByteArray key = recordKey(frame.port, frame.callFrom, frame.callTo);
    const auto record = enginePaths_.find(key);
    const bool stalePath = problem.isEmpty() && !renewing_ && record != enginePaths_.end() &&
                           record->second != frame.data;
    // A connection being renewed holds no record yet: the request goes out once it is ready.
    const bool waitForFreshConnection = problem.isEmpty() && (renewing_ || stalePath);
    if (stalePath) {
        postReport("Connect to " + targetCall +
                   " on a new path: renewing the AGW engine connection, which holds the old one");
        renewConnection();
    } else if (!waitForFreshConnection) {
        if (!problem.isEmpty() || !connection_.send(frame)) {
            postReport("ERROR connect to " + targetCall + " not possible: " +
                       (problem.isEmpty() ? "the AGW engine is not reading" : problem));
            post([this, channelId] { emit OnAX25Disconnect(channelId); });
            return channelId;
        }
        rememberRecord(key, frame.data);
    }
    AgwLink link;
    link.requestWaiting = waitForFreshConnection;
    if (waitForFreshConnection) {
        link.waitingRequest = frame;
    }
    link.wirePort = frame.port;
    link.ownCall = frame.callFrom;
    link.remoteCall = frame.callTo;
    link.info.radioPort = radioPort;
    link.info.ownCall = ownCall;
    link.info.remoteCall = targetCall;
    link.info.viaPath = viaPath;
    links_.insert(channelId, link);
    return channelId;
}

QByteArray AgwControl::connectRequest(qint32 radioPort, const QByteArray &ownCall,
                                      const QByteArray &targetCall, const QByteArray &viaPath,
                                      AgwFrame &frame) const {
    // While it is renewed, the connection's radio ports are those of the old one.
    if (!connection_.isReady() && !renewing_) {
        return "not connected to the AGW engine " + connection_.address();
    }
    if (!connection_.radioPorts().contains(radioPort)) {
        return "the AGW engine " + connection_.address() + " has no radio port " +
               QByteArray::number(radioPort);
    }
    frame.port = connection_.radioPorts().wirePort(radioPort);
    frame.callFrom = canonicalCallsign(ownCall);
    frame.callTo = canonicalCallsign(targetCall);
    if (!isValidCallsign(frame.callFrom)) {
        return "own callsign \"" + ownCall + "\" is not a valid AX.25 callsign";
    }
    if (!isValidCallsign(frame.callTo)) {
        return "\"" + targetCall + "\" is not a valid AX.25 callsign";
    }
    QList<QByteArray> digipeaters;
    for (const QByteArray &entry : viaPath.split(',')) {
        const QByteArray digipeater = canonicalCallsign(entry);
        if (digipeater.isEmpty()) {
            continue;
        }
        if (!isValidCallsign(digipeater)) {
            return "digipeater \"" + entry + "\" is not a valid AX.25 callsign";
        }
        digipeaters.append(digipeater);
    }
    if (digipeaters.size() > kMaxDigipeaters) {
        return "more than " + QByteArray::number(kMaxDigipeaters) + " digipeaters";
    }
    if (links_.findByCalls(frame.port, frame.callFrom, frame.callTo)) {
        return "a link between " + frame.callFrom + " and " + frame.callTo + " on port " +
               QByteArray::number(radioPort) + " is still open";
    }
    if (links_.size() >= kMaxLinks) {
        return "too many links open";
    }
    if (digipeaters.isEmpty()) {
        frame.kind = 'C';
        return {};
    }
    // 'v': the count, then one NUL-padded callsign field per digipeater.
    frame.kind = 'v';
    frame.data.append(static_cast<char>(digipeaters.size()));
    for (const QByteArray &digipeater : digipeaters) {
        frame.data.append(digipeater.leftJustified(kAgwCallFieldSize, '\0', true));
    }
    return {};
}

bool AgwControl::ax25Disconnect(qint32 channelId) {
    const AgwLink *link = links_.find(channelId);
    if (link && link->requestWaiting) {
        // Its connect has not gone out yet: there is nothing to take down on the air.
        links_.take(channelId);
        post([this, channelId] { emit OnAX25Disconnect(channelId); });
        return true;
    }
    if (!link || !connection_.isReady() || link->calledOff) {
        return false;
    }
    if (!link->up) {
        callOff(channelId, *links_.find(channelId));
        return true;
    }
    // Dire Wolf drops what the link still holds at a 'd': the data goes first.
    return transmitter_.disconnectWhenDelivered(channelId) ||
           connection_.send(linkFrame('d', *link));
}

void AgwControl::callOff(qint32 channelId, AgwLink &link) {
    const QList<qint32> channelIds = links_.channelIds();
    const bool othersOpen = std::any_of(channelIds.begin(), channelIds.end(), [&](qint32 other) {
        return other != channelId && !links_.find(other)->calledOff;
    });
    if (!othersOpen) {
        // The engine ignores 'd' while it is still calling and would go on calling for a
        // minute; only the end of this client's connection stops the attempt.
        postReport("Connect attempt to " + link.info.remoteCall +
                   " stopped: renewing the AGW engine connection");
        renewConnection();
        return;
    }
    // Renewing would take the other links down. An engine that heeds 'd' while calling stops
    // at once; one that does not calls on, and a link it still brings up is taken down.
    postReport("Connect attempt to " + link.info.remoteCall +
               " called off: other links are open, so the engine may call on until it gives up");
    link.calledOff = true;
    connection_.send(linkFrame('d', link));
    post([this, channelId] { emit OnAX25Disconnect(channelId); });
}

bool AgwControl::takesConnects() const {
    return connection_.isReady() || renewing_;
}

bool AgwControl::ax25Send(qint32 channelId, const QByteArray &data) {
    const AgwLink *link = links_.find(channelId);
    return link && link->up && connection_.isReady() && transmitter_.send(channelId, *link, data);
}

qsizetype AgwControl::bytesHeld(qint32 channelId) const {
    return transmitter_.bytesHeld(channelId);
}

qsizetype AgwControl::framesHeld(qint32 channelId) const {
    return transmitter_.framesHeld(channelId);
}

bool AgwControl::connectionInfo(qint32 channelId, ConnectionInfo &info) {
    const AgwLink *link = links_.find(channelId);
    if (!link) {
        return false;
    }
    info = link->info;
    return true;
}

void AgwControl::handleFrame(const AgwFrame &frame) {
    switch (frame.kind) {
    case 'X':
    case 'x': // another common engine answers a registration with 'x'
        handleRegistered(frame);
        break;
    case 'C':
        handleLinkUp(frame);
        break;
    case 'd':
        handleLinkDown(frame);
        break;
    case 'D':
        handleData(frame);
        break;
    case 'Y':
        handleOutstanding(frame);
        break;
    default: // monitoring and answers the control never asks for
        break;
    }
}

void AgwControl::handleRegistered(const AgwFrame &frame) {
    const QByteArray wireCall = canonicalCallsign(frame.callFrom);
    for (qsizetype i = 0; i < registrations_.size(); ++i) {
        PendingRegistration &pending = registrations_[i];
        if (pending.wireCall != wireCall) {
            continue;
        }
        const bool firstAnswer = !pending.answered;
        const QByteArray call = pending.call;
        pending.answered = true;
        if (--pending.answersDue == 0) {
            registrations_.removeAt(i);
        }
        if (firstAnswer) {
            const bool registered = frame.kind == 'x' || frame.data.startsWith('\x01');
            emit OnRegister(call, registered);
        }
        return;
    }
}

void AgwControl::handleLinkUp(const AgwFrame &frame) {
    const QByteArray remoteCall = canonicalCallsign(frame.callFrom);
    const QByteArray ownCall = canonicalCallsign(frame.callTo);
    if (const std::optional<qint32> channelId =
            links_.findByCalls(frame.port, ownCall, remoteCall)) {
        AgwLink *link = links_.find(*channelId);
        if (link->calledOff) {
            link->up = true;
            connection_.send(linkFrame('d', *link));
            return;
        }
        // A second 'C' for a link that is up means the peer reset it: still the same link.
        if (!link->up) {
            link->up = true;
            // The engine's spelling of the calls, not the bridge's request as typed.
            link->info.ownCall = frame.callTo;
            link->info.remoteCall = frame.callFrom;
            emit OnAX25Connect(*channelId);
        }
        return;
    }
    AgwLink link;
    link.wirePort = frame.port;
    link.ownCall = ownCall;
    link.remoteCall = remoteCall;
    link.up = true;
    link.info.radioPort = connection_.radioPorts().radioPort(frame.port);
    link.info.ownCall = frame.callTo;
    link.info.remoteCall = frame.callFrom;
    if (links_.size() >= kMaxLinks) {
        emit report("ERROR incoming link from " + frame.callFrom + " refused: too many links open");
        connection_.send(linkFrame('d', link));
        return;
    }
    rememberRecord(recordKey(frame.port, ownCall, remoteCall), {});
    const qint32 channelId = links_.newChannelId();
    links_.insert(channelId, link);
    if (switchingOff_) {
        // Nobody will carry it: take it down with the others, within the same wait.
        connection_.send(linkFrame('d', link));
        return;
    }
    emit OnAX25Connect(channelId);
}

void AgwControl::handleLinkDown(const AgwFrame &frame) {
    const std::optional<qint32> channelId = links_.findByCalls(
        frame.port, canonicalCallsign(frame.callFrom), canonicalCallsign(frame.callTo));
    if (!channelId) {
        return;
    }
    const AgwLink link = *links_.take(*channelId);
    // The engine has no event for a failed call of its own. Dire Wolf's disconnect text says
    // RETRYOUT; other engines end every link with the same text, so a call the engine ends
    // before it came up has failed, whatever the text.
    const bool failedCall = eventText(frame.data).contains("RETRYOUT") || !link.up;
    forgetTransmitData(*channelId, link, failedCall ? "retries ran out" : "the link went down");
    if (!link.calledOff) {
        if (failedCall) {
            emit OnRetryOut(*channelId);
        }
        emit OnAX25Disconnect(*channelId);
    }
    if (goodbye_.isActive() && links_.isEmpty()) {
        goodbye_.stop();
        connection_.close();
    }
}

void AgwControl::handleData(const AgwFrame &frame) {
    const std::optional<qint32> channelId = links_.findByCalls(
        frame.port, canonicalCallsign(frame.callFrom), canonicalCallsign(frame.callTo));
    if (channelId) {
        emit OnAX25Receive(*channelId, frame.data);
    }
}

void AgwControl::onReady() {
    // A fresh connection: the engine holds no record for it yet.
    renewing_ = false;
    enginePaths_.clear();
    for (const qint32 channelId : links_.channelIds()) {
        AgwLink *link = links_.find(channelId);
        if (!std::exchange(link->requestWaiting, false)) {
            continue;
        }
        const AgwFrame request = std::move(link->waitingRequest);
        if (connection_.send(request)) {
            rememberRecord(recordKey(request.port, request.callFrom, request.callTo), request.data);
        } else {
            links_.take(channelId);
            emit OnAX25Disconnect(channelId);
        }
    }
    attemptFailed_ = false;
    noteEngineState();
    emit OnReady(true);
}

QByteArray AgwControl::recordKey(quint8 port, const QByteArray &ownCall,
                                 const QByteArray &remoteCall) {
    return QByteArray(1, char(port)) + ownCall + ' ' + remoteCall;
}

void AgwControl::rememberRecord(const QByteArray &key, const QByteArray &path) {
    if (enginePaths_.size() >= kMaxRememberedRecords && enginePaths_.count(key) == 0) {
        enginePaths_.erase(enginePaths_.begin());
    }
    enginePaths_[key] = path;
}

void AgwControl::renewConnection() {
    // The old connection's links and registrations go with it, links that are up without a
    // disconnect on the air, as when the engine is lost; OnReady follows on the new one.
    registrations_.clear();
    // Posted, as every event: this runs inside one of the bridge's operations.
    for (const qint32 channelId : links_.channelIds()) {
        const QByteArray line = undeliveredReport(channelId, *links_.find(channelId),
                                                  "the AGW engine connection was renewed");
        if (!line.isEmpty()) {
            postReport(line);
        }
    }
    const QList<qint32> dropped = links_.takeAll();
    post([this, dropped] {
        for (const qint32 channelId : dropped) {
            emit OnAX25Disconnect(channelId);
        }
    });
    renewing_ = true;
    connection_.reopen();
    post([this] { noteEngineState(); });
}

void AgwControl::handleOutstanding(const AgwFrame &frame) {
    constexpr qsizetype kCountBytes = 4;
    const std::optional<qint32> channelId = links_.findByCalls(
        frame.port, canonicalCallsign(frame.callFrom), canonicalCallsign(frame.callTo));
    if (channelId && frame.data.size() >= kCountBytes) {
        transmitter_.outstandingAnswered(*channelId, qFromLittleEndian<quint32>(frame.data.data()));
    }
}

void AgwControl::forgetTransmitData(qint32 channelId, const AgwLink &link, const QByteArray &why) {
    const QByteArray line = undeliveredReport(channelId, link, why);
    if (!line.isEmpty()) {
        emit report(line);
    }
}

QByteArray AgwControl::undeliveredReport(qint32 channelId, const AgwLink &link,
                                         const QByteArray &why) {
    const qsizetype undelivered = transmitter_.forget(channelId);
    if (undelivered == 0) {
        return {};
    }
    return "ERROR " + QByteArray::number(undelivered) + " bytes for " + link.info.remoteCall +
           " not delivered: " + (switchingOff_ ? QByteArray("Varnel is shutting down") : why);
}

void AgwControl::updateBacklog() {
    const bool backlogged = connectionBehind_ || transmitHolding_;
    if (backlogged != backlogged_) {
        backlogged_ = backlogged;
        emit backlogChanged(backlogged);
    }
}

void AgwControl::dropAllLinks() {
    goodbye_.stop();
    registrations_.clear();
    for (const qint32 channelId : links_.channelIds()) {
        forgetTransmitData(channelId, *links_.find(channelId), "the AGW engine connection ended");
    }
    for (const qint32 channelId : links_.takeAll()) {
        emit OnAX25Disconnect(channelId);
    }
}

void AgwControl::onConnectionClosed() {
    renewing_ = false;
    dropAllLinks();
    connectionOpen_ = false;
    attemptFailed_ = false;
    noteEngineState();
    emit closed();
}

AgwFrame AgwControl::linkFrame(char kind, const AgwLink &link) const {
    AgwFrame frame;
    frame.port = link.wirePort;
    frame.kind = kind;
    frame.callFrom = link.ownCall;
    frame.callTo = link.remoteCall;
    return frame;
}

void AgwControl::sendToAllPorts(char kind, const QByteArray &wireCall) {
    for (const quint8 wirePort : connection_.radioPorts().wirePorts()) {
        AgwFrame frame;
        frame.port = wirePort;
        frame.kind = kind;
        frame.callFrom = wireCall;
        connection_.send(frame);
    }
}

void AgwControl::post(std::function<void()> event) {
    QMetaObject::invokeMethod(this, std::move(event), Qt::QueuedConnection);
}

void AgwControl::postReport(const QByteArray &line) {
    post([this, line] { emit report(line); });
}
