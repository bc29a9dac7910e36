// An AGW engine in memory for the control, so that fuzzing runs without sockets: it is ready
// with the one radio port of a single-sound-card Dire Wolf, keeps what the control sends and
// hands the control whatever frames the caller gives it. Its own events come from the event
// loop, as a real connection's do.
#pragma once

#include "engine/agwtransport.h"

#include <QCoreApplication>

class MemoryTransport : public AgwTransport {
    Q_OBJECT
public:
    using AgwTransport::AgwTransport;

    void setHost(const QString &) override {}
    void setPort(quint16) override {}
    QByteArray address() const override { return "memory"; }
    void open() override { later(&MemoryTransport::becomeReady); }
    void close() override {
        ready_ = false;
        later(&AgwTransport::closed);
    }
    void reopen() override { open(); }
    bool isReady() const override { return ready_; }
    QByteArray version() const override { return "2005.127"; }
    AgwRadioPorts radioPorts() const override {
        return AgwRadioPorts::fromPortList("1;Port1 memory;");
    }
    using AgwTransport::send;
    bool send(const QList<AgwFrame> &frames) override {
        if (ready_) {
            sent += frames;
        }
        return ready_;
    }

    // A frame as if from the engine.
    void deliver(const AgwFrame &frame) { emit frameReceived(frame); }

    QList<AgwFrame> sent;

private:
    void becomeReady() {
        ready_ = true;
        emit ready();
    }
    template <typename Member> void later(Member member) {
        QMetaObject::invokeMethod(this, member, Qt::QueuedConnection);
    }

    bool ready_ = false;
};
