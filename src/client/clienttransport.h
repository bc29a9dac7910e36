// The wire on which the client reaches the KAM, whichever it is: a TCP listener and the
// connection it accepts, a serial line, or a pseudo-terminal. The bridge sees only this: a
// client comes (connectionRequest, then accept), its bytes arrive, replies go out, it leaves
// (peerClosed), and the wire waits for the next one.
//
// Memory stays bounded whatever the client does, on every wire: each arrival is at most
// kMaxArrivalBytes, and while more than kMaxUnsentBytes of replies wait for a client that does
// not read, or while the bridge holds reading, its requests are left unread (the kernel or the
// line then holds the client back). Received radio data cannot be held back that way (the
// engine must always be read), so a client that lets kMaxWaitingReplyBytes pile up is dropped.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>

// The most the client's bytes are buffered before the bridge reads them.
constexpr qint64 kMaxArrivalBytes = 64 * 1024;
// Replies queued for a client beyond this stop the bridge reading its further requests.
constexpr qint64 kMaxUnsentBytes = 64 * 1024;
// Replies queued beyond this mean the client has stopped reading for good: at radio speeds it
// is hours of traffic.
constexpr qint64 kMaxWaitingReplyBytes = 4 * 1024 * 1024;

class ClientTransport : public QObject {
    Q_OBJECT
public:
    // Listening: ready for a client that has not come yet.
    enum class State { Closed, Listening, Connected };

    using QObject::QObject;

    State state() const;

    // Whether open() takes a TCP port to listen on (the LISTENPORT field); a device has none.
    virtual bool listensOnPort() const = 0;
    // Starts serving the KAM on the wire; on failure returns false and errorString() says why,
    // as a whole sentence ("cannot listen on 127.0.0.1 port 8100: ...").
    virtual bool open(quint16 port) = 0;
    QString errorString() const;
    // Takes the client that has come. False when none has.
    virtual bool accept() = 0;
    // Lets the client go and serves the next one; false, with errorString(), when the wire
    // cannot serve another.
    virtual bool awaitNext() = 0;
    // Closes the wire, the client with it. Replies already queued still go out where the wire
    // can still carry them.
    virtual void close() = 0;
    // The wire and who is on it, for the status: "listening on 127.0.0.1:8100".
    virtual QByteArray description() const = 0;
    // What keeps clients from reaching the KAM while the wire itself is lost; empty otherwise.
    virtual QByteArray problem() const { return {}; }

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
    // A line for the log about the wire itself: a device lost, or back.
    void report(const QByteArray &line);

protected:
    // Whether the wire is ready for a client, or has one.
    virtual bool serving() const = 0;
    // Ends the session of a client that stopped reading; peerClosed() follows.
    virtual void dropClient() = 0;

    // The accepted client's byte stream, its read buffer already bounded to kMaxArrivalBytes;
    // null while there is none.
    void attachClient(QIODevice *device);
    // Lets the client go: the attached one, or one announced and not yet taken.
    void detachClient();
    // On a wire whose device outlives its clients: a client has come, announced once.
    void announceClient();
    // Attaches device for the client announced; false when none was.
    bool attachAnnouncedClient(QIODevice *device);
    QIODevice *client() const { return client_; }
    // Hands on what the client sent: readyRead of the attached stream, or a wire's own.
    void clientReadyRead();
    // The client has gone: what it sent last still counts, then peerClosed().
    void clientGone();
    void setErrorString(const QString &text) { errorString_ = text; }

private:
    bool mayRead() const;
    void resumeReading();

    QPointer<QIODevice> client_;
    std::array<QMetaObject::Connection, 2> clientConnections_;
    QString errorString_;
    bool readingPaused_ = false; // a dataArrival is owed once reading may go on
    bool readingHeld_ = false;
    bool dropping_ = false; // the client is being dropped for not reading
    bool announced_ = false;
};
