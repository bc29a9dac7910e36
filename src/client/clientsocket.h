// The one TCP socket towards the client: first a listener, then, once a client is accepted,
// that client's connection. Nothing listens while a client is connected, so a second client
// is refused by the operating system and the first is not disturbed.
//
// Memory stays bounded whatever the client does: each arrival is at most kMaxArrivalBytes,
// and while more than kMaxUnsentBytes of replies wait for a client that does not read, or while
// the bridge holds reading, its requests are left unread (the kernel then holds the client
// back). Received radio data cannot be held back that way (the engine must always be read), so
// a client that lets kMaxWaitingReplyBytes pile up is dropped.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

// The most the client's bytes are buffered before the bridge reads them.
constexpr qint64 kMaxArrivalBytes = 64 * 1024;
// Replies queued for a client beyond this stop the bridge reading its further requests.
constexpr qint64 kMaxUnsentBytes = 64 * 1024;
// Replies queued beyond this mean the client has stopped reading for good: at radio speeds it
// is hours of traffic.
constexpr qint64 kMaxWaitingReplyBytes = 4 * 1024 * 1024;

class ClientSocket : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Listening, Connected };

    explicit ClientSocket(QObject *parent = nullptr);
    ~ClientSocket() override;

    State state() const;

    // Starts listening; on failure returns false and errorString() says why.
    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const;
    // "address:port" of the listener and of the connected client; empty when there is none.
    QByteArray listenAddress() const;
    QByteArray peerAddress() const;

    // Takes the waiting client and stops listening. False, still listening, when no client
    // is waiting.
    bool accept();
    // Closes the listener or the client connection, whichever is open. Replies already
    // queued still go out.
    void close();

    // Queues bytes for the client, in order; dropped when no client is connected. Bytes that
    // would take the queue past kMaxWaitingReplyBytes drop the client instead: error() says so
    // at once, and peerClosed() follows from the event loop.
    void send(const QByteArray &bytes);
    // All bytes the client has sent that were not read yet.
    QByteArray readAll();
    // While held, no dataArrival comes; on release it comes for what waited meanwhile. Holding
    // outlasts a client, since what it waits for is not the client's doing.
    void setReadingHeld(bool held);

signals:
    void connectionRequest();
    void dataArrival();
    void peerClosed();
    void error(const QString &description);

private:
    void clientReadyRead();
    void clientBytesWritten();
    void clientDisconnected();
    bool mayRead() const;
    void resumeReading();

    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QString errorString_;
    bool readingPaused_ = false; // a dataArrival is owed once reading may go on
    bool readingHeld_ = false;
    bool dropping_ = false; // the client is being dropped for not reading
};
