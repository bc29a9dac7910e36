// The client's byte stream through dispatchClientData and both interpreters, with the engine
// double's events and answers in between, in process: no socket, no event loop, nothing shown.
// Whatever a client sends, the bridge never crashes, its state keeps to its values, and its
// unfinished block and terminal line to their bounds. Links come and go on several channels, so
// several streams are in use at once.
#include "require.h"

#include "bridge/bridge.h"
#include "client/hostblockcutter.h"
#include "support/fakeengine.h"
#include "support/recorderfrontend.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// One arrival may be a piece repeated up to this size, so that a short input passes the
// unfinished-block bound in some 64 arrivals; larger ones would slow every run down.
constexpr int kMaxRepeatedBytes = 512;
// Engine channels the events name: enough for several links at once, and stale ones.
constexpr qint32 kChannels = 8;

enum class Step {
    Arrival,
    RepeatedArrival,
    LinkUp,
    LinkDown,
    Receive,
    RetryOut,
    Ready,
    Answers,
    kMaxValue = Answers, // for FuzzedDataProvider
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    SilentFrontEnd frontEnd;
    FakeEngine engine;
    // No listener: the bridge's replies to the client go nowhere, as with a client gone.
    Bridge bridge(frontEnd, engine, BridgeOptions());
    BridgeState &s = bridge.state();
    s.myCall = "N0CALL";
    s.agwPort = 1;
    s.acceptAny = input.ConsumeBool();
    s.hostMode = input.ConsumeBool() ? 1 : 0;

    while (input.remaining_bytes() > 0) {
        const auto channel = [&] { return input.ConsumeIntegralInRange<qint32>(0, kChannels - 1); };
        switch (input.ConsumeEnum<Step>()) {
        case Step::Arrival:
            bridge.dispatchClientData(QByteArray::fromStdString(input.ConsumeRandomLengthString()));
            break;
        case Step::RepeatedArrival: {
            const int repeats = input.ConsumeIntegralInRange(1, kMaxRepeatedBytes);
            const QByteArray piece = QByteArray::fromStdString(input.ConsumeRandomLengthString());
            bridge.dispatchClientData(
                piece.repeated(qMin(repeats, kMaxRepeatedBytes / int(qMax(piece.size(), 1)))));
            break;
        }
        case Step::LinkUp: {
            engine.infoToReport.radioPort = input.ConsumeIntegralInRange<qint32>(0, 3);
            engine.infoToReport.remoteCall =
                QByteArray::fromStdString(input.ConsumeRandomLengthString(16));
            const qint32 id = channel();
            emit engine.OnAX25Connect(id);
            break;
        }
        case Step::LinkDown: {
            const qint32 id = channel();
            emit engine.OnAX25Disconnect(id);
            break;
        }
        case Step::Receive: {
            const qint32 id = channel();
            emit engine.OnAX25Receive(id,
                                      QByteArray::fromStdString(input.ConsumeRandomLengthString()));
            break;
        }
        case Step::RetryOut: {
            const qint32 id = channel();
            emit engine.OnRetryOut(id);
            break;
        }
        case Step::Ready:
            emit engine.OnReady(true);
            break;
        case Step::Answers:
            engine.nextChannelId = channel();
            engine.sendResult = input.ConsumeBool();
            engine.disconnectResult = input.ConsumeBool();
            break;
        }
        VARNEL_REQUIRE(s.clientBuffer.size() <= kMaxPendingClientBytes);
        VARNEL_REQUIRE(s.clientBuffer.isEmpty() || s.clientBuffer.front() == '\xC0');
        VARNEL_REQUIRE(s.clientBuffer.indexOf('\xC0', 1) < 0);
        VARNEL_REQUIRE(s.hostMode == 0 || s.hostMode == 1);
        VARNEL_REQUIRE(s.terminalLine.size() <= kMaxTerminalLineBytes);
        for (const hostcodec::Stream stream : s.links.busyStreams()) {
            VARNEL_REQUIRE(s.links.at(stream).state <= kDisconnectInProgress);
        }
        for (qint32 id = 0; id < kChannels; ++id) {
            const std::optional<hostcodec::Stream> stream = s.links.findByChannel(id);
            VARNEL_REQUIRE(!stream || s.links.at(*stream).channelId == id);
            VARNEL_REQUIRE(!stream || !s.links.at(*stream).isFree());
        }
        VARNEL_REQUIRE(s.currentStream.isLink() && s.callerPort >= '1' && s.callerPort <= '2');
    }
    return 0;
}
