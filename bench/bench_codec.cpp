// The data escapes on 32 KiB: Varnel's one-pass codec, memcpy of the same bytes (the ceiling),
// and the search-and-splice algorithm that the codec replaced (the floor). Throughput is in
// input bytes; each direction is fed what it meets in use: raw link data for AX25toKAM, the
// client's escaped form of it for KAMtoAX25.
#include "splicereference.h"

#include "client/hostcodec.h"

#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr qsizetype kInputBytes = 32 * 1024;

enum Content : int64_t { kRandom = 0, kOnlySpecials = 1 };

QByteArray rawInput(int64_t content) {
    QByteArray bytes(kInputBytes, '\0');
    QRandomGenerator random(7);
    for (char &c : bytes) {
        const quint32 value = random.generate();
        c = content == kRandom ? char(value) : (value & 1 ? hostcodec::kFend : hostcodec::kFesc);
    }
    return bytes;
}

// The escaped form of the raw input, cut to the same size.
QByteArray escapedInput(int64_t content) {
    return hostcodec::escape(rawInput(content)).left(kInputBytes);
}

const char *contentLabel(int64_t content) {
    return content == kRandom ? "random" : "only FEND and FESC";
}

void finish(benchmark::State &state) {
    state.SetBytesProcessed(int64_t(state.iterations()) * kInputBytes);
    state.SetLabel(contentLabel(state.range(0)));
}

void BM_Memcpy(benchmark::State &state) {
    std::vector<char> from(kInputBytes, 'x');
    std::vector<char> to(kInputBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kInputBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kInputBytes);
}

void BM_AX25toKAM(benchmark::State &state) {
    const QByteArray input = rawInput(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(hostcodec::escape(input));
    }
    finish(state);
}

void BM_KAMtoAX25(benchmark::State &state) {
    const QByteArray input = escapedInput(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(hostcodec::unescape(input));
    }
    finish(state);
}

void BM_SpliceEscape(benchmark::State &state) {
    const QByteArray input = rawInput(state.range(0));
    if (splicereference::escape(input) != hostcodec::escape(input)) {
        state.SkipWithError("the reference and the codec disagree");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(splicereference::escape(input));
    }
    finish(state);
}

void BM_SpliceUnescape(benchmark::State &state) {
    const QByteArray input = escapedInput(state.range(0));
    if (splicereference::unescape(input) != hostcodec::unescape(input)) {
        state.SkipWithError("the reference and the codec disagree");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(splicereference::unescape(input));
    }
    finish(state);
}

} // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_AX25toKAM)->Arg(kRandom)->Arg(kOnlySpecials);
BENCHMARK(BM_KAMtoAX25)->Arg(kRandom)->Arg(kOnlySpecials);
BENCHMARK(BM_SpliceEscape)->Arg(kRandom)->Arg(kOnlySpecials)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpliceUnescape)->Arg(kRandom)->Arg(kOnlySpecials)->Unit(benchmark::kMillisecond);
