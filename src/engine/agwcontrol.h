// Placeholder until the AGW control lands.
#pragma once

#include "engine/packetengine.h"

class AgwControl : public PacketEngine {
    Q_OBJECT
public:
    using PacketEngine::PacketEngine;
    void setEngineHost(const QString &) override {}
    void setEnginePort(qint32) override {}
    void setEnabled(bool) override {}
    void setActive(bool) override {}
    void setOnline(bool) override {}
    QByteArray version() const override { return {}; }
    void registerCall(const QByteArray &) override {}
    void unregisterCall(const QByteArray &) override {}
    qint32 ax25Connect(qint32, const QByteArray &, const QByteArray &,
                       const QByteArray &) override {
        return 0;
    }
    bool ax25Disconnect(qint32) override { return false; }
    bool ax25Send(qint32, const QByteArray &) override { return false; }
    bool connectionInfo(qint32, ConnectionInfo &) override { return false; }
};
