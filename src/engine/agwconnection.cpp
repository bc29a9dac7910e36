#include "engine/agwconnection.h"

#include "engine/agwreplies.h"
#include "net/tcpkeepalive.h"

#include <QTcpSocket>

#include <utility>

namespace {

// Pause between connection attempts: short enough that a restarted engine is back in use
// within seconds, long enough not to busy the machine while it is away.
constexpr int kReconnectDelayMs = 2000;
// A live engine answers 'R' and 'G' at once; silence this long means an unserved slot.
constexpr int kAnswerTimeoutMs = 3000;
// Ports the readiness queries go to: the sound-card modems have four channels, and the first
// may be off.
constexpr quint8 kQueriedPorts = 4;
// Time to hand the last frames (the links' disconnects) to the engine before closing anyway.
constexpr int kFlushTimeoutMs = 1000;
// Frames waiting for an engine that is behind; past this the bridge is asked to pause. It is
// well under the refusal limit below, so the client data already read when the pause comes
// still fits.
constexpr qint64 kBacklogBytes = 64 * 1024;
// Frames waiting for an engine that has stopped reading; past this, sends are refused.
constexpr qint64 kMaxUnsentBytes = 256 * 1024;
// Lines about one outage: an engine away for hours, or one that keeps failing in new ways,
// must not fill the log.
constexpr qsizetype kMaxReportsPerOutage = 3;
// Bytes taken from the socket at a time, so the reader never holds more than one piece and
// one unfinished frame.
constexpr qint64 kReadChunkSize = 16 * 1024;

// The version and port queries, to each port that may answer.
QList<AgwFrame> readinessQueries() {
    QList<AgwFrame> queries;
    for (quint8 port = 0; port < kQueriedPorts; ++port) {
        for (const char kind : {'R', 'G'}) {
            AgwFrame query;
            query.port = port;
            query.kind = kind;
            queries.append(query);
        }
    }
    return queries;
}

} // namespace

AgwConnection::AgwConnection(QObject *parent) : AgwTransport(parent) {
    retry_.setSingleShot(true);
    deadline_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &AgwConnection::connectNow);
    connect(&deadline_, &QTimer::timeout, this, &AgwConnection::onDeadline);
}

AgwConnection::~AgwConnection() {
    retireSocket();
}

QByteArray AgwConnection::address() const {
    return host_.toUtf8() + ':' + QByteArray::number(port_);
}

void AgwConnection::open() {
    if (wanted_) {
        return;
    }
    wanted_ = true;
    retry_.start(0);
}

void AgwConnection::close() {
    wanted_ = false;
    retry_.stop();
    deadline_.stop();
    const bool connected = socket_ && socket_->state() == QAbstractSocket::ConnectedState;
    phase_ = Phase::Closing;
    if (connected) {
        socket_->disconnect(this);
        connect(socket_, &QTcpSocket::disconnected, this, &AgwConnection::finishClose,
                Qt::QueuedConnection);
        deadline_.start(kFlushTimeoutMs);
        socket_->disconnectFromHost();
    } else {
        retireSocket();
        QMetaObject::invokeMethod(this, &AgwConnection::finishClose, Qt::QueuedConnection);
    }
}

void AgwConnection::reopen() {
    if (!wanted_) {
        return;
    }
    releaseSocket();
    updateBacklog();
    deadline_.stop();
    phase_ = Phase::Idle;
    retry_.start(0);
}

bool AgwConnection::send(const QList<AgwFrame> &frames) {
    if (!socket_ || (phase_ != Phase::Handshake && phase_ != Phase::Ready) ||
        socket_->bytesToWrite() > kMaxUnsentBytes) {
        return false;
    }
    for (const AgwFrame &frame : frames) {
        socket_->write(encodeAgwFrame(frame));
    }
    updateBacklog();
    return true;
}

void AgwConnection::connectNow() {
    if (!wanted_) {
        return;
    }
    retireSocket();
    socket_ = new QTcpSocket(this);
    reader_ = AgwFrameReader();
    versionAnswered_ = false;
    portsAnswered_ = false;
    phase_ = Phase::Connecting;
    connect(socket_, &QTcpSocket::connected, this, &AgwConnection::onConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &AgwConnection::onReadyRead);
    connect(socket_, &QTcpSocket::bytesWritten, this, &AgwConnection::updateBacklog);
    connect(socket_, &QTcpSocket::errorOccurred, this,
            [this] { fail(socket_->errorString().toLatin1()); });
    connect(socket_, &QTcpSocket::disconnected, this,
            [this] { fail("the engine closed the connection"); });
    deadline_.start(kAnswerTimeoutMs);
    socket_->connectToHost(host_, port_);
}

void AgwConnection::onConnected() {
    // An engine host that vanishes is then lost, and tried again, within about a minute.
    enableTcpKeepAlive(*socket_);
    phase_ = Phase::Handshake;
    deadline_.start(kAnswerTimeoutMs);
    send(readinessQueries());
}

void AgwConnection::onReadyRead() {
    QTcpSocket *const socket = socket_;
    while (socket_ == socket && socket->bytesAvailable() > 0) {
        reader_.append(socket->read(kReadChunkSize));
        while (socket_ == socket) {
            const std::optional<AgwFrame> frame = reader_.next();
            if (!frame) {
                break;
            }
            handleFrame(*frame);
        }
        if (socket_ == socket && reader_.broken()) {
            fail("a frame announces " + QByteArray::number(reader_.brokenLength()) +
                 " data bytes, more than " + QByteArray::number(kAgwMaxDataLength) +
                 ": the stream is out of step");
        }
    }
}

void AgwConnection::handleFrame(const AgwFrame &frame) {
    // An engine that answers on every port answers each query more than once.
    if (frame.kind == 'R') {
        if (!std::exchange(versionAnswered_, true)) {
            version_ = versionText(frame.data);
        }
    } else if (frame.kind == 'G') {
        if (!std::exchange(portsAnswered_, true)) {
            radioPorts_ = AgwRadioPorts::fromPortList(frame.data);
        }
    } else {
        emit frameReceived(frame);
        return;
    }
    if (phase_ == Phase::Handshake && versionAnswered_ && portsAnswered_) {
        phase_ = Phase::Ready;
        deadline_.stop();
        reasonsReported_.clear();
        emit ready();
    }
}

void AgwConnection::onDeadline() {
    switch (phase_) {
    case Phase::Connecting:
        fail("no connection within " + QByteArray::number(kAnswerTimeoutMs / 1000) + " s");
        break;
    case Phase::Handshake:
        fail("no answer to the version and port queries within " +
             QByteArray::number(kAnswerTimeoutMs / 1000) + " s");
        break;
    case Phase::Closing:
        finishClose();
        break;
    case Phase::Idle:
    case Phase::Ready:
        break;
    }
}

void AgwConnection::fail(const QByteArray &reason) {
    const bool wasConnected = phase_ == Phase::Handshake || phase_ == Phase::Ready;
    retireSocket();
    updateBacklog();
    deadline_.stop();
    phase_ = Phase::Idle;
    if (!reasonsReported_.contains(reason) && reasonsReported_.size() < kMaxReportsPerOutage) {
        reasonsReported_.append(reason);
        emit report("ERROR AGW engine " + address() + ": " + reason);
    }
    retry_.start(kReconnectDelayMs);
    emit attemptFailed();
    if (wasConnected) {
        emit lost();
    }
}

void AgwConnection::finishClose() {
    if (phase_ != Phase::Closing) {
        return;
    }
    deadline_.stop();
    retireSocket();
    updateBacklog();
    phase_ = Phase::Idle;
    emit closed();
}

void AgwConnection::retireSocket() {
    if (!socket_) {
        return;
    }
    QTcpSocket *const socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void AgwConnection::releaseSocket() {
    if (!socket_) {
        return;
    }
    QTcpSocket *const socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // An engine that has stopped reading would keep the stream from closing.
    QTimer::singleShot(kFlushTimeoutMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

void AgwConnection::updateBacklog() {
    const bool backlogged = socket_ && socket_->bytesToWrite() > kBacklogBytes;
    if (backlogged != backlogged_) {
        backlogged_ = backlogged;
        emit backlogChanged(backlogged);
    }
}
