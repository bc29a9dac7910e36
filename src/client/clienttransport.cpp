#include "client/clienttransport.h"

ClientTransport::State ClientTransport::state() const {
    if (client_) {
        return State::Connected;
    }
    return serving() ? State::Listening : State::Closed;
}

QString ClientTransport::errorString() const {
    return errorString_;
}

void ClientTransport::attachClient(QIODevice *device) {
    client_ = device;
    readingPaused_ = false;
    dropping_ = false;
    // Only these go with the client: a device outlives its clients, with its own connections.
    clientConnections_ = {
        connect(device, &QIODevice::readyRead, this, &ClientTransport::clientReadyRead),
        connect(device, &QIODevice::bytesWritten, this, &ClientTransport::resumeReading)};
}

void ClientTransport::detachClient() {
    client_ = nullptr;
    announced_ = false;
    for (const QMetaObject::Connection &connection : clientConnections_) {
        disconnect(connection);
    }
}

void ClientTransport::announceClient() {
    if (!client_ && !announced_) {
        announced_ = true;
        emit connectionRequest();
    }
}

bool ClientTransport::attachAnnouncedClient(QIODevice *device) {
    if (!announced_ || client_) {
        return false;
    }
    attachClient(device);
    return true;
}

void ClientTransport::send(const QByteArray &bytes) {
    if (!client_ || !client_->isWritable() || dropping_) {
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
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (client_ && dropping_) {
                dropClient();
            }
        },
        Qt::QueuedConnection);
}

QByteArray ClientTransport::readAll() {
    return client_ ? client_->readAll() : QByteArray();
}

void ClientTransport::setReadingHeld(bool held) {
    readingHeld_ = held;
    resumeReading();
}

bool ClientTransport::mayRead() const {
    return !readingHeld_ && client_->bytesToWrite() <= kMaxUnsentBytes;
}

void ClientTransport::clientReadyRead() {
    if (!client_) {
        return;
    }
    if (!mayRead()) {
        readingPaused_ = true;
        return;
    }
    emit dataArrival();
}

void ClientTransport::resumeReading() {
    if (client_ && readingPaused_ && mayRead()) {
        readingPaused_ = false;
        if (client_->bytesAvailable() > 0) {
            emit dataArrival();
        }
    }
}

void ClientTransport::clientGone() {
    // Requests read but held back still count (a disconnect of the link, say), though their
    // replies can no longer reach anyone.
    if (client_ && client_->bytesAvailable() > 0) {
        emit dataArrival();
    }
    emit peerClosed();
}
