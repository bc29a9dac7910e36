// Varnel end to end, against a plain TCP relay measured in the same run. A KAM client sends
// "D1A" blocks through a headless varnel to the test engine, which sends each 'D' frame back,
// so the client receives the very data it sent (one block at a time, the very block; with
// several in flight varnel packs the stream into frames of its own); the relay's client sends
// the same blocks through the relay to an echo server. Measured for both: start-up to listening,
// round-trip latency, blocks per second with a window of blocks in flight, CPU used while
// left alone, resident memory. Prints one JSON object for tools/bench.
#include "client/hostblockcutter.h"
#include "client/hostcodec.h"
#include "faults/procstats.h"
#include "support/varnelrig.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qsizetype kBlockBytes = 256;
// Blocks in flight while measuring throughput: enough to keep both hops busy, few enough
// that no socket buffer fills (varnel refuses client data while the engine lags behind).
constexpr qint64 kWindowBlocks = 32;
// Round trips timed one at a time, after a few untimed ones.
constexpr int kWarmUpRoundTrips = 200;
constexpr int kTimedRoundTrips = 5000;
// Throughput rounds per path.
constexpr int kThroughputRounds = 3;
// A reply slower than this means a lost block, not a slow one.
constexpr int kReplyTimeoutMs = 10000;

// A kBlockBytes "D1A" block: two FENDs, the header, and data in which one FEND and one FESC
// take two bytes each once escaped.
QByteArray dataBlock() {
    constexpr qsizetype kOrdinaryBytes = kBlockBytes - 2 - 3 - 2 * 2;
    QRandomGenerator random(5);
    QByteArray data;
    while (data.size() < kOrdinaryBytes) {
        const char c = char(random.bounded(256));
        if (c != hostcodec::kFend && c != hostcodec::kFesc) {
            data.append(c);
        }
    }
    data.insert(10, hostcodec::kFend).insert(100, hostcodec::kFesc);
    return hostcodec::frame("D1A" + hostcodec::escape(data));
}

// Runs the event loop until done() holds; false when kReplyTimeoutMs passes first.
bool runUntil(const std::function<bool()> &done) {
    QElapsedTimer waited;
    waited.start();
    QTimer wakeUp; // lets the loop look at the clock while nothing arrives
    wakeUp.start(100);
    while (!done()) {
        if (waited.elapsed() > kReplyTimeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Echoes every byte back to whoever sent it.
class EchoServer : public QTcpServer {
public:
    EchoServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket,
                        [socket] { socket->write(socket->readAll()); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
};

// A process under measurement and the client connected through it.
struct Path {
    QProcess *process = nullptr;
    QTcpSocket *client = nullptr;
    double startupMs = 0;
};

QJsonObject latency(QTcpSocket &client, const QByteArray &block) {
    QList<double> micros;
    for (int i = 0; i < kWarmUpRoundTrips + kTimedRoundTrips; ++i) {
        QElapsedTimer roundTrip;
        roundTrip.start();
        client.write(block);
        if (!runUntil([&] { return client.bytesAvailable() >= block.size(); }) ||
            client.read(block.size()) != block) {
            return {{"error", "a block did not come back whole"}};
        }
        if (i >= kWarmUpRoundTrips) {
            micros.append(double(roundTrip.nsecsElapsed()) / 1e3);
        }
    }
    std::sort(micros.begin(), micros.end());
    return {{"median_us", micros[micros.size() / 2]}, {"p99_us", micros[micros.size() * 99 / 100]}};
}

// The link data in the blocks that come back, whatever their sizes.
class LinkDataCounter {
public:
    void add(const QByteArray &arrival) {
        HostBlockCutter cutter(pending_, arrival);
        while (const std::optional<CutBlock> cut = cutter.next()) {
            bytes += hostcodec::unescape(hostcodec::splitBlock(cut->block).data).size();
        }
    }
    qint64 bytes = 0;

private:
    QByteArray pending_;
};

// Blocks per second with kWindowBlocks in flight, counted by the link data that comes back;
// 0 when data was lost.
double blocksPerSecond(QTcpSocket &client, const QByteArray &block, qint64 blocks) {
    const qint64 dataPerBlock = hostcodec::unescape(hostcodec::splitBlock(block).data).size();
    qint64 sent = 0;
    LinkDataCounter received;
    QElapsedTimer elapsed;
    elapsed.start();
    const bool done = runUntil([&] {
        received.add(client.read(client.bytesAvailable()));
        const qint64 receivedBlocks = received.bytes / dataPerBlock;
        for (; sent < blocks && sent - receivedBlocks < kWindowBlocks; ++sent) {
            client.write(block);
        }
        return receivedBlocks == blocks;
    });
    if (!done || received.bytes != blocks * dataPerBlock) {
        return 0;
    }
    return double(blocks) * 1e9 / double(elapsed.nsecsElapsed());
}

// CPU time that each process uses while nothing happens for idleSeconds.
QList<double> idleCpuMs(const QList<qint64> &pids, int idleSeconds) {
    QList<qint64> before;
    for (qint64 pid : pids) {
        before.append(procstats::cpuNanoseconds(pid));
    }
    QEventLoop loop;
    QTimer::singleShot(idleSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    QList<double> used;
    for (qsizetype i = 0; i < pids.size(); ++i) {
        used.append(double(procstats::cpuNanoseconds(pids[i]) - before[i]) / 1e6);
    }
    return used;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument("varnel", "the varnel program");
    parser.addPositionalArgument("relay", "the varnel_tcprelay program");
    const QCommandLineOption blocksOption("blocks", "blocks per throughput round", "count",
                                          "100000");
    const QCommandLineOption idleOption("idle-seconds", "time left alone", "seconds", "10");
    parser.addOptions({blocksOption, idleOption});
    parser.addHelpOption();
    parser.process(app);
    if (parser.positionalArguments().size() != 2) {
        parser.showHelp(2);
    }
    const qint64 blocks = parser.value(blocksOption).toLongLong();
    const int idleSeconds = parser.value(idleOption).toInt();
    const QByteArray block = dataBlock();
    const auto fail = [](const char *what) {
        std::fprintf(stderr, "varnel_e2ebench: %s\n", what);
        return 1;
    };

    // Varnel, with an engine that sends every data frame back on its link.
    VarnelRig rig(parser.positionalArguments()[0]);
    QElapsedTimer varnelStarted;
    varnelStarted.start();
    Path varnel{&rig.varnel, &rig.client.socket};
    if (!rig.start() || !rig.connectClient()) {
        return fail("varnel did not start listening");
    }
    varnel.startupMs = double(varnelStarted.nsecsElapsed()) / 1e6;
    if (!rig.registered()) {
        return fail("varnel did not register with the test engine");
    }
    rig.client.write("RESET\r");
    if (!rig.client.expect("\300\300S00\300") || !rig.linkUp()) {
        return fail("varnel did not bring the link up");
    }
    QObject::connect(&rig.engine, &TestEngine::frameReceived, [&](const AgwFrame &frame) {
        if (frame.kind == 'D') {
            rig.engine.data(frame.port, frame.callTo, frame.callFrom, frame.data);
        }
        rig.engine.received.clear();
    });

    // The relay, in front of an echo server.
    EchoServer echo;
    echo.listen(QHostAddress::LocalHost, 0);
    QProcess relayProcess;
    QTcpSocket relayClient;
    Path relay{&relayProcess, &relayClient};
    const quint16 relayPort = freeLoopbackPort();
    QElapsedTimer relayStarted;
    relayStarted.start();
    relayProcess.start(parser.positionalArguments()[1],
                       {QString::number(relayPort), QString::number(echo.serverPort())});
    if (!relayProcess.waitForStarted() ||
        !connectWhenListening(relayClient, relayPort, relayProcess, kReplyTimeoutMs)) {
        return fail("the relay did not start listening");
    }
    relay.startupMs = double(relayStarted.nsecsElapsed()) / 1e6;

    // Alternating, so that both see the same machine; throughput's best of a few rounds, as
    // other work on a shared machine only ever slows a round down.
    const QList<Path> paths = {varnel, relay};
    QList<QJsonObject> figures(paths.size());
    for (qsizetype i = 0; i < paths.size(); ++i) {
        figures[i] = latency(*paths[i].client, block);
        figures[i]["startup_ms"] = paths[i].startupMs;
    }
    for (int round = 0; round < kThroughputRounds; ++round) {
        for (qsizetype i = 0; i < paths.size(); ++i) {
            const double best = figures[i]["blocks_per_second"].toDouble();
            figures[i]["blocks_per_second"] =
                std::max(best, blocksPerSecond(*paths[i].client, block, blocks));
        }
    }
    QList<qint64> pids;
    for (const Path &path : paths) {
        pids.append(path.process->processId());
    }
    const QList<double> idle = idleCpuMs(pids, idleSeconds);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        figures[i]["idle_cpu_ms"] = idle[i];
        figures[i]["resident_kib"] = procstats::residentKiB(pids[i]);
        figures[i]["peak_resident_kib"] = procstats::peakResidentKiB(pids[i]);
    }

    relayClient.abort();
    relayProcess.terminate();
    relayProcess.waitForFinished();
    const bool stoppedCleanly = rig.stop();

    const QJsonObject result = {
        {"varnel", figures[0]},
        {"relay", figures[1]},
        {"block_bytes", block.size()},
        {"window_blocks", kWindowBlocks},
        {"throughput_blocks", blocks},
        {"idle_seconds", idleSeconds},
        {"varnel_stopped_cleanly", stoppedCleanly},
    };
    std::fputs(QJsonDocument(result).toJson().constData(), stdout);
    const bool measured =
        std::all_of(figures.cbegin(), figures.cend(), [](const QJsonObject &path) {
            return path["blocks_per_second"].toDouble() > 0 && !path.contains("error");
        });
    return measured && stoppedCleanly ? 0 : 1;
}
