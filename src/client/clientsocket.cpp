#include "client/clientsocket.h"

ClientSocket::ClientSocket(QObject *parent) : QObject(parent) {
    // One waiting client is all the bridge takes; the kernel refuses the rest once we stop
    // listening.
    server_.setMaxPendingConnections(1);
    connect(&server_, &QTcpServer::newConnection, this, &ClientSocket::connectionRequest);
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

void ClientSocket::accept() {
    QTcpSocket *socket = server_.nextPendingConnection();
    server_.close();
    // Anyone else who got into the backlog before the listener closed is turned away.
    while (QTcpSocket *extra = server_.nextPendingConnection()) {
        extra->abort();
        extra->deleteLater();
    }
    if (!socket) {
        return;
    }
    client_ = socket;
    connect(socket, &QTcpSocket::readyRead, this, &ClientSocket::dataArrival);
    connect(socket, &QTcpSocket::disconnected, this, &ClientSocket::peerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError code) {
                // A peer closing is reported as its own event, not as an error.
                if (code != QAbstractSocket::RemoteHostClosedError) {
                    emit error(socket->errorString());
                }
            });
}

void ClientSocket::close() {
    server_.close();
    if (QTcpSocket *socket = client_) {
        client_ = nullptr;
        socket->disconnect(this);
        // Replies already queued still go out; the socket frees itself once closed.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState) {
            socket->deleteLater();
        }
    }
}

void ClientSocket::send(const QByteArray &bytes) {
    if (client_ && client_->state() == QAbstractSocket::ConnectedState) {
        client_->write(bytes);
    }
}

QByteArray ClientSocket::readAll() {
    return client_ ? client_->readAll() : QByteArray();
}
