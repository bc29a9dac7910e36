// A bridge for in-process benchmarks: no client socket, and an engine double that only counts
// what it is asked to send, so that nothing grows however long a benchmark runs.
#pragma once

#include "app/bridge.h"
#include "support/fakeengine.h"
#include "support/recorderfrontend.h"

class CountingEngine : public FakeEngine {
public:
    bool ax25Send(qint32 /*channelId*/, const QByteArray &data) override {
        sentBytes += data.size();
        return true;
    }
    qint64 sentBytes = 0;
};

struct QuietBridge {
    RecorderFrontEnd frontEnd;
    CountingEngine engine;
    Bridge bridge{frontEnd, engine, BridgeOptions()};

    // In host mode with a link up, as a client sending data finds it.
    QuietBridge() {
        bridge.state().hostMode = 1;
        bridge.state().linkState = kConnected;
        bridge.state().channelId = 1;
    }
};
