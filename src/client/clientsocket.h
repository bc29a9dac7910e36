// The one TCP socket towards the client: first a listener, then, once a client is accepted,
// that client's connection. Nothing listens while a client is connected, so a second client
// is refused by the operating system and the first is not disturbed.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

class ClientSocket : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Listening, Connected };

    explicit ClientSocket(QObject *parent = nullptr);

    State state() const;

    // Starts listening; on failure returns false and errorString() says why.
    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const;

    // Takes the waiting client and stops listening.
    void accept();
    // Closes the listener or the client connection, whichever is open.
    void close();

    // Queues bytes for the client in order; dropped when no client is connected.
    void send(const QByteArray &bytes);
    // All bytes the client has sent that were not read yet.
    QByteArray readAll();

signals:
    void connectionRequest();
    void dataArrival();
    void peerClosed();
    void error(const QString &description);

private:
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QString errorString_;
};
