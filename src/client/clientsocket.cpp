#include "client/clientsocket.h"

#include "net/tcpkeepalive.h"

ClientSocket::ClientSocket(QObject *parent) : QObject(parent) {
    // One waiting client is all the bridge takes; the kernel refuses the rest once we stop
    // listening.
    server_.setMaxPendingConnections(1);
    connect(&server_, &QTcpServer::newConnection, this, &ClientSocket::connectionRequest);
}

ClientSocket::~ClientSocket() {
    // A socket destroyed while connected reports a disconnection; its owner is already going.
    if (client_) {
        client_->disconnect(this);
    }
}

ClientSocket::State ClientSocket::state() const {
    if (client_) {
        return State::Connected;
    }
    return server_.isListening() ? State::Listening : State::Closed;
}

bool ClientSocket::listen(const QHostAddress &address, quint16 port) {
    if (server_.listen(address, port)) {
        errorString_.clear();
        return true;
    }
    errorString_ = server_.errorString();
    return false;
}

QString ClientSocket::errorString() const {
    return errorString_;
}

namespace {

// An IPv6 address goes in brackets, so that its colons are not taken for the port's.
QByteArray endpointText(const QHostAddress &address, quint16 port) {
    const QByteArray host = address.toString().toLatin1();
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    return (ipv6 ? '[' + host + ']' : host) + ':' + QByteArray::number(port);
}

} // namespace

QByteArray ClientSocket::listenAddress() const {
    if (!server_.isListening()) {
        return {};
    }
    return endpointText(server_.serverAddress(), server_.serverPort());
}

QByteArray ClientSocket::peerAddress() const {
    if (!client_) {
        return {};
    }
    return endpointText(client_->peerAddress(), client_->peerPort());
}

bool ClientSocket::accept() {
    QTcpSocket *socket = server_.nextPendingConnection();
    if (!socket) {
        return false;
    }
    // Closing the listener also turns away anyone else who got into the backlog meanwhile.
    server_.close();
    client_ = socket;
    readingPaused_ = false;
    dropping_ = false;
    socket->setReadBufferSize(kMaxArrivalBytes);
    // Nothing listens while this client is connected: one that vanishes must not keep the place.
    enableTcpKeepAlive(*socket);
    connect(socket, &QTcpSocket::readyRead, this, &ClientSocket::clientReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &ClientSocket::clientBytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &ClientSocket::clientDisconnected);
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError code) {
                // A peer closing is reported as its own event, not as an error.
                if (code != QAbstractSocket::RemoteHostClosedError) {
                    emit error(socket->errorString());
                }
            });
    return true;
}

void ClientSocket::close() {
    server_.close();
    if (QTcpSocket *socket = client_) {
        client_ = nullptr;
        socket->disconnect(this);
        // The socket frees itself once its queued replies are out and it is closed.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState) {
            socket->deleteLater();
        }
    }
}

void ClientSocket::send(const QByteArray &bytes) {
    if (!client_ || client_->state() != QAbstractSocket::ConnectedState || dropping_) {
        return;
    }
    if (client_->bytesToWrite() + bytes.size() <= kMaxWaitingReplyBytes) {
        client_->write(bytes);
        return;
    }
    dropping_ = true;
    emit error(QStringLiteral("client not reading: %1 bytes of replies waiting, connection dropped")
                   .arg(client_->bytesToWrite()));
    // From the event loop: the bridge may be in the middle of the client's own requests.
    QMetaObject::invokeMethod(client_, &QAbstractSocket::abort, Qt::QueuedConnection);
}

QByteArray ClientSocket::readAll() {
    return client_ ? client_->readAll() : QByteArray();
}

void ClientSocket::setReadingHeld(bool held) {
    readingHeld_ = held;
    resumeReading();
}

bool ClientSocket::mayRead() const {
    return !readingHeld_ && client_->bytesToWrite() <= kMaxUnsentBytes;
}

void ClientSocket::clientReadyRead() {
    if (!mayRead()) {
        readingPaused_ = true;
        return;
    }
    emit dataArrival();
}

void ClientSocket::clientBytesWritten() {
    resumeReading();
}

void ClientSocket::resumeReading() {
    if (client_ && readingPaused_ && mayRead()) {
        readingPaused_ = false;
        if (client_->bytesAvailable() > 0) {
            emit dataArrival();
        }
    }
}

void ClientSocket::clientDisconnected() {
    // Requests read but held back still count (a disconnect of the link, say), though their
    // replies can no longer reach anyone.
    if (client_->bytesAvailable() > 0) {
        emit dataArrival();
    }
    emit peerClosed();
}
