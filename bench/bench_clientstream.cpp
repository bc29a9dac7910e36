// The client's byte stream through dispatchClientData: 256-byte "D1A" blocks arriving in 4 KiB
// pieces, cut, split, unescaped and handed to the engine, against a plain scan of the same
// pieces for FEND. Run at several stream lengths: the cost per block must not grow with them.
#include "client/hostcodec.h"
#include "support/bridgefixture.h"

#include <QByteArrayList>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype kBlockBytes = 256;
constexpr qsizetype kPieceBytes = 4 * 1024;
constexpr QByteArrayView kDataHeader = "D1A";

// count blocks of kBlockBytes, FEND to FEND, their data random bytes other than FEND (so some
// stray and some real escapes), cut into pieces as TCP might deliver them.
QByteArrayList blockStream(int64_t count) {
    QRandomGenerator random(11);
    QByteArray stream;
    stream.reserve(count * kBlockBytes);
    for (int64_t i = 0; i < count; ++i) {
        QByteArray data(kBlockBytes - 2 - kDataHeader.size(), '\0');
        for (char &c : data) {
            c = char(random.bounded(256));
            if (c == hostcodec::kFend) {
                c = 'x';
            }
        }
        stream += hostcodec::frame(kDataHeader.toByteArray() + data);
    }
    QByteArrayList pieces;
    for (qsizetype offset = 0; offset < stream.size(); offset += kPieceBytes) {
        pieces.append(stream.mid(offset, kPieceBytes));
    }
    return pieces;
}

void finish(benchmark::State &state) {
    state.counters["blocks_per_second"] = benchmark::Counter(
        double(state.iterations()) * double(state.range(0)), benchmark::Counter::kIsRate);
}

void BM_DispatchClientData(benchmark::State &state) {
    // In process, in host mode with a link up, as a client sending data finds it; the engine
    // double only counts, so that nothing grows however long the benchmark runs.
    BridgeFixture quiet("N0CALL,1,true,8000", BridgeFixture::Load::Unloaded);
    quiet.engine.recordSends = false;
    quiet.setHostModeWithLinkUp();
    const QByteArrayList pieces = blockStream(state.range(0));
    for (auto _ : state) {
        for (const QByteArray &piece : pieces) {
            quiet.bridge.dispatchClientData(piece);
        }
    }
    if (!quiet.frontEnd.lines.isEmpty()) {
        state.SkipWithError(quiet.frontEnd.lines.first().constData());
    }
    finish(state);
}

void BM_FendScan(benchmark::State &state) {
    const QByteArrayList pieces = blockStream(state.range(0));
    for (auto _ : state) {
        qsizetype fends = 0;
        for (const QByteArray &piece : pieces) {
            for (qsizetype at = piece.indexOf(hostcodec::kFend); at >= 0;
                 at = piece.indexOf(hostcodec::kFend, at + 1)) {
                ++fends;
            }
        }
        benchmark::DoNotOptimize(fends);
    }
    finish(state);
}

} // namespace

BENCHMARK(BM_DispatchClientData)->RangeMultiplier(16)->Range(16, 64 * 1024);
BENCHMARK(BM_FendScan)->RangeMultiplier(16)->Range(16, 64 * 1024);
