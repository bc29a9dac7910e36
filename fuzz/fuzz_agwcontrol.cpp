// The engine side of the real program: the AGW control over loopback TCP, with the bridge's
// handlers on its events, fed frames of any kind, port, callsigns and data by the test engine.
// Whatever the engine sends, the control takes every frame and goes on: an incoming link
// reported after the fuzzed frames still reaches the bridge, and its state keeps to its values.
#include "require.h"

#include "bridge/bridge.h"
#include "engine/agwcontrol.h"
#include "engine/callsign.h"
#include "support/recorderfrontend.h"
#include "support/testengine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <functional>

namespace {

// A loopback round trip takes well under a millisecond; this long means a frame was lost.
constexpr int kWaitMs = 5000;
// The remote station whose link marks the end of the fuzzed frames.
const QByteArray kMarkerCall = "SYNC";

TestEngine *engine = nullptr;

// Runs the event loop until done() holds; false when kWaitMs passes first.
bool runUntil(const std::function<bool()> &done) {
    QElapsedTimer waited;
    waited.start();
    QTimer wakeUp; // lets the loop look at the clock while nothing arrives
    wakeUp.start(50);
    while (!done()) {
        if (waited.elapsed() > kWaitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

AgwFrame linkUpFrom(const QByteArray &remote) {
    AgwFrame frame;
    frame.kind = 'C';
    frame.callFrom = remote;
    frame.callTo = "N0CALL";
    frame.data = "*** CONNECTED To Station " + remote + "\r" + QByteArray(1, '\0');
    return frame;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    static TestEngine testEngine;
    VARNEL_REQUIRE(testEngine.start());
    engine = &testEngine;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    engine->received.clear();
    RecorderFrontEnd frontEnd;
    AgwControl control;
    Bridge bridge(frontEnd, control, BridgeOptions());
    BridgeState &s = bridge.state();
    s.myCall = "N0CALL";
    s.agwPort = 1;
    s.acceptAny = input.ConsumeBool();
    s.enginePort = engine->port();
    bridge.startEngine();
    VARNEL_REQUIRE(runUntil([] { return !engine->receivedOfKind('X').isEmpty(); }));

    QByteArray stream;
    while (input.remaining_bytes() > 0) {
        AgwFrame frame;
        frame.port = input.ConsumeIntegral<quint8>();
        frame.kind = input.ConsumeIntegral<char>();
        frame.pid = input.ConsumeIntegral<quint8>();
        frame.callFrom = QByteArray::fromStdString(input.ConsumeRandomLengthString(10));
        frame.callTo = QByteArray::fromStdString(input.ConsumeRandomLengthString(10));
        frame.data = QByteArray::fromStdString(input.ConsumeRandomLengthString());
        // The marker's link must be new when it comes.
        if (canonicalCallsign(frame.callFrom) == kMarkerCall ||
            canonicalCallsign(frame.callTo) == kMarkerCall) {
            continue;
        }
        stream += encodeAgwFrame(frame);
    }
    stream += encodeAgwFrame(linkUpFrom(kMarkerCall));
    engine->sendBytes(stream);

    // The marker's link reaches the bridge, or the control refuses it for lack of room.
    const bool taken = runUntil([&] {
        return s.connection.remoteCall == kMarkerCall ||
               std::any_of(frontEnd.lines.cbegin(), frontEnd.lines.cend(),
                           [](const QByteArray &line) { return line.contains("SYNC refused"); });
    });
    VARNEL_REQUIRE(taken);
    VARNEL_REQUIRE(s.linkState <= kDisconnectInProgress);
    VARNEL_REQUIRE(s.hostMode == 0);
    return 0;
}
