// The frame stream between the AGW control and an engine, as the control uses it. The real one
// is a TCP connection (AgwConnection); fuzzing puts an in-memory one in its place.
#pragma once

#include "engine/agwframe.h"
#include "engine/agwradioports.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class AgwTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setHost(const QString &host) = 0;
    virtual void setPort(quint16 port) = 0;
    // "host:port", for log lines.
    virtual QByteArray address() const = 0;

    // Connects from the event loop and keeps trying until close(). Does nothing while open.
    virtual void open() = 0;
    // Stops trying, sends what is already written, then closes; closed() follows, always from
    // the event loop, also when there was no connection.
    virtual void close() = 0;
    // Ends this connection cleanly and connects again at once, as open() does: the engine
    // forgets everything it held for the old connection. ready() follows once it answers.
    virtual void reopen() = 0;

    // Ready means the engine has answered the version query 'R' and the port query 'G'.
    virtual bool isReady() const = 0;
    // Valid once ready: the 'R' answer as "<major>.<minor>" and the radio ports from 'G'.
    virtual QByteArray version() const = 0;
    virtual AgwRadioPorts radioPorts() const = 0;

    // Writes the frames in order, all or none: none when not connected or when the engine has
    // stopped reading and too much is waiting already.
    virtual bool send(const QList<AgwFrame> &frames) = 0;
    bool send(const AgwFrame &frame) { return send(QList<AgwFrame>{frame}); }

signals:
    void ready();
    // Every frame from the engine except the readiness answers.
    void frameReceived(const AgwFrame &frame);
    // An established connection ended without close(): its links and registrations are gone.
    void lost();
    // A connection attempt failed or an established connection ended: another one follows.
    void attemptFailed();
    // An "ERROR" line about the connection: each reason once per outage, and only a few.
    void report(const QByteArray &line);
    void closed();
    // Frames waiting to go out passed the backlog mark (true) or fell back under it (false).
    void backlogChanged(bool backlogged);
};
