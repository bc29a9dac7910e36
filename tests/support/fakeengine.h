// A packet-engine double: records every operation the bridge calls, answers with what the test
// set, and lets the test raise the engine's events.
#pragma once

#include "engine/packetengine.h"

#include <QByteArray>
#include <QList>
#include <QString>

class FakeEngine : public PacketEngine {
    Q_OBJECT
public:
    using PacketEngine::PacketEngine;

    void setEngineHost(const QString &host) override { calls << "host " + host.toLatin1(); }
    void setEnginePort(qint32 port) override { calls << "port " + QByteArray::number(port); }
    void setEnabled(bool enabled) override { calls << (enabled ? "enabled 1" : "enabled 0"); }
    void setActive(bool active) override {
        calls << (active ? "active 1" : "active 0");
        if (!active) { // switched off, as the real control it closes from the event loop
            QMetaObject::invokeMethod(this, &PacketEngine::closed, Qt::QueuedConnection);
        }
    }
    void setOnline(bool online) override { calls << (online ? "online 1" : "online 0"); }
    QByteArray version() const override { return versionText; }
    void registerCall(const QByteArray &call) override { calls << "register " + call; }
    void unregisterCall(const QByteArray &call) override { calls << "unregister " + call; }
    qint32 ax25Connect(qint32 radioPort, const QByteArray &ownCall, const QByteArray &targetCall,
                       const QByteArray &viaPath) override {
        calls << "connect " + QByteArray::number(radioPort) + " " + ownCall + " [" + targetCall +
                     "] [" + viaPath + "]";
        return nextChannelId;
    }
    bool takesConnects() const override { return connectsTaken; }
    bool ax25Disconnect(qint32 channelId) override {
        calls << "disconnect " + QByteArray::number(channelId);
        return disconnectResult;
    }
    bool ax25Send(qint32 channelId, const QByteArray &data) override {
        sentBytes += data.size();
        if (recordSends) {
            calls << "send " + QByteArray::number(channelId);
            sentData << data;
        }
        return sendResult;
    }
    qsizetype bytesHeld(qint32) const override { return heldBytes; }
    qsizetype framesHeld(qint32) const override { return heldFrames; }
    bool connectionInfo(qint32 channelId, ConnectionInfo &info) override {
        calls << "info " + QByteArray::number(channelId);
        info = infoToReport;
        return true;
    }
    EngineState engineState() const override { return engineStateValue; }
    QByteArray engineAddress() const override { return "127.0.0.1:8000"; }
    // Moves the engine connection to state, as the real control does from the event loop.
    void setEngineState(EngineState state) {
        engineStateValue = state;
        emit engineStateChanged();
    }

    QList<QByteArray> calls;
    QList<QByteArray> sentData;
    qint64 sentBytes = 0;
    bool recordSends = true; // false: sends are only counted, so that a long run does not grow
    QByteArray versionText = "2005.127";
    qint32 nextChannelId = 1;
    bool connectsTaken = true;
    bool disconnectResult = true;
    bool sendResult = true;
    qsizetype heldBytes = 0;
    qsizetype heldFrames = 0;
    ConnectionInfo infoToReport;
    EngineState engineStateValue = EngineState::Off;
};
