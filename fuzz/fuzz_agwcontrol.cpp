// The engine side of the real program: the AGW control, with the bridge's handlers on its
// events, fed frames of any kind, port, callsigns and data, cut from a byte stream by the
// control's own frame reader. An engine in memory stands in for the TCP connection, so each
// input runs in process without a socket. Whatever the engine sends, the control takes every
// frame and goes on: an incoming link reported after the fuzzed frames still reaches the
// bridge, and its state keeps to its values.
#include "require.h"

#include "bridge/bridge.h"
#include "engine/agwcontrol.h"
#include "engine/callsign.h"
#include "support/memorytransport.h"
#include "support/recorderfrontend.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

namespace {

// The remote station whose link marks the end of the fuzzed frames.
const QByteArray kMarkerCall = "SYNC";

AgwFrame linkUpFrom(const QByteArray &remote) {
    AgwFrame frame;
    frame.kind = 'C';
    frame.callFrom = remote;
    frame.callTo = "N0CALL";
    frame.data = "*** CONNECTED To Station " + remote + "\r" + QByteArray(1, '\0');
    return frame;
}

// What the control and the bridge queued for the event loop, handled now.
void handlePostedEvents() {
    QCoreApplication::sendPostedEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    RecorderFrontEnd frontEnd;
    MemoryTransport engine;
    AgwControl control(engine);
    Bridge bridge(frontEnd, control, BridgeOptions());
    BridgeState &s = bridge.state();
    s.myCall = "N0CALL";
    s.agwPort = 1;
    s.acceptAny = input.ConsumeBool();
    s.enginePort = 8000;
    bridge.startEngine();
    handlePostedEvents();
    VARNEL_REQUIRE(engine.isReady());

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

    AgwFrameReader reader;
    reader.append(stream);
    // Frames come in faster than the event loop turns, as from a busy engine: what the control
    // and the bridge posted meanwhile is handled after them.
    while (const std::optional<AgwFrame> frame = reader.next()) {
        engine.deliver(*frame);
    }
    handlePostedEvents();
    VARNEL_REQUIRE(!reader.broken());

    // The marker's link reaches the bridge, which has no client to give it to, or the control
    // refuses it for lack of room; either way it is refused.
    VARNEL_REQUIRE(
        std::any_of(frontEnd.lines.cbegin(), frontEnd.lines.cend(),
                    [](const QByteArray &line) { return line.contains("SYNC refused"); }));
    VARNEL_REQUIRE(s.links.busyStreams().isEmpty());
    VARNEL_REQUIRE(s.hostMode == 0);
    return 0;
}
