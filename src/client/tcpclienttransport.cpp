#include "client/tcpclienttransport.h"

#include "net/tcpkeepalive.h"

TcpClientTransport::TcpClientTransport(const QHostAddress &address, QObject *parent)
    : ClientTransport(parent), address_(address) {
    // One waiting client is all the bridge takes; the kernel refuses the rest once we stop
    // listening.
    server_.setMaxPendingConnections(1);
    connect(&server_, &QTcpServer::newConnection, this, &ClientTransport::connectionRequest);
}

TcpClientTransport::~TcpClientTransport() {
    // A socket destroyed while connected reports a disconnection; its owner is already going.
    if (socket_) {
        socket_->disconnect(this);
    }
}

bool TcpClientTransport::open(quint16 port) {
    port_ = port;
    if (server_.listen(address_, port)) {
        setErrorString({});
        return true;
    }
    setErrorString(QStringLiteral("cannot listen on %1 port %2: %3")
                       .arg(address_.toString())
                       .arg(port)
                       .arg(server_.errorString()));
    return false;
}

namespace {

// An IPv6 address goes in brackets, so that its colons are not taken for the port's.
QByteArray endpointText(const QHostAddress &address, quint16 port) {
    const QByteArray host = address.toString().toLatin1();
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    return (ipv6 ? '[' + host + ']' : host) + ':' + QByteArray::number(port);
}

} // namespace

QByteArray TcpClientTransport::description() const {
    if (socket_) {
        return "connected from " + endpointText(socket_->peerAddress(), socket_->peerPort());
    }
    if (server_.isListening()) {
        return "listening on " + endpointText(server_.serverAddress(), server_.serverPort());
    }
    return "not listening";
}

bool TcpClientTransport::accept() {
    QTcpSocket *socket = server_.nextPendingConnection();
    if (!socket) {
        return false;
    }
    // Closing the listener also turns away anyone else who got into the backlog meanwhile.
    server_.close();
    socket_ = socket;
    socket->setReadBufferSize(kMaxArrivalBytes);
    // Nothing listens while this client is connected: one that vanishes must not keep the place.
    enableTcpKeepAlive(*socket);
    attachClient(socket);
    connect(socket, &QTcpSocket::disconnected, this, &TcpClientTransport::clientGone);
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError code) {
                // A peer closing is reported as its own event, not as an error.
                if (code != QAbstractSocket::RemoteHostClosedError) {
                    emit error(socket->errorString());
                }
            });
    return true;
}

bool TcpClientTransport::awaitNext() {
    close();
    return open(port_);
}

void TcpClientTransport::close() {
    server_.close();
    detachClient();
    if (QTcpSocket *socket = socket_) {
        socket_ = nullptr;
        socket->disconnect(this);
        // The socket frees itself once its queued replies are out and it is closed.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState) {
            socket->deleteLater();
        }
    }
}

void TcpClientTransport::dropClient() {
    socket_->abort();
}
