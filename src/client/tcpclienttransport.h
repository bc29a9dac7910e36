// The client on TCP: first a listener, then, once a client is accepted, that client's
// connection. Nothing listens while a client is connected, so a second client is refused by the
// operating system and the first is not disturbed.
#pragma once

#include "client/clienttransport.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class TcpClientTransport : public ClientTransport {
    Q_OBJECT
public:
    explicit TcpClientTransport(const QHostAddress &address, QObject *parent = nullptr);
    ~TcpClientTransport() override;

    bool listensOnPort() const override { return true; }
    bool open(quint16 port) override;
    bool accept() override;
    // Closes the connection, its queued replies still going out, and listens again.
    bool awaitNext() override;
    void close() override;
    QByteArray description() const override;

protected:
    bool serving() const override { return server_.isListening(); }
    void dropClient() override;

private:
    QTcpServer server_;
    QPointer<QTcpSocket> socket_;
    QHostAddress address_;
    quint16 port_ = 0;
};
