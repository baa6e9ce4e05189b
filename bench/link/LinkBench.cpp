// How long the link's waits really take against their limits: a receive giving up on
// a silent device, and an answer paced at the line's own rate.

#include <benchmark/benchmark.h>

#include <chrono>

#include "BenchLink.h"
#include "device/Protocol.h"

namespace ixo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t Rate = bench::WorkingRate;

double Seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

// Line time of count bytes of 10 bits at Rate.
double LineSeconds(int count) {
    return count * 10.0 / Rate;
}

// A receive from a device that never answers, against its limit: ByteTime +
// FirstByteTimeout = 5 + 350 ms at 38400 bit/s.
void ReceiveGivesUpOnSilence(benchmark::State& state) {
    bench::BenchLink setup({.Silent = true});
    if (!setup.Why().empty()) return state.SkipWithError(setup.Why().c_str());
    ComPort& port = setup.Link();
    const double limit = (port.ByteTime() + port.FirstByteTimeout) / 1000.0;
    std::uint8_t answer[ReplyLength];
    double waited = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const std::int32_t got = port.Receive(answer, ReplyLength);
        waited += Seconds(Clock::now() - start);
        if (got != 0) return state.SkipWithError("a silent device answered");
    }
    state.counters["LimitMs"] = limit * 1000;
    state.counters["RatioToLimit"] =
        benchmark::Counter(waited / limit, benchmark::Counter::kAvgIterations);
}
BENCHMARK(ReceiveGivesUpOnSilence)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

// One fetch exchange with a device that takes and sends each byte at 38400 bit/s: the
// receive, timed from the moment the request has been handed to the line, against the
// line time of the 8-byte answer, and the whole exchange against the line time of its
// 3 + 8 bytes. The receive also waits while the device takes the request.
void PacedAnswer(benchmark::State& state) {
    bench::BenchLink setup({.PaceBaud = Rate});
    if (!setup.Why().empty()) return state.SkipWithError(setup.Why().c_str());
    setup.Device().SetWord(5, 0x5A5AA5A5);
    ComPort& port = setup.Link();
    const FetchRequest request = EncodeFetchRequest(5);
    std::uint8_t answer[ReplyLength];
    double receiving = 0;
    double exchanging = 0;
    int full = 0;
    int cut = 0;
    for (auto _ : state) {
        port.Purge(1);
        const auto start = Clock::now();
        if (port.Send(request.data(), FetchRequestLength, true) != FetchRequestLength) {
            return state.SkipWithError("the request did not go out");
        }
        const auto sent = Clock::now();
        const std::int32_t got = port.Receive(answer, ReplyLength);
        const auto end = Clock::now();
        // On a loaded machine a gap can outlast the 5 ms allowed between two bytes;
        // such an answer is counted, not timed.
        if (got != ReplyLength) {
            ++cut;
            continue;
        }
        ++full;
        receiving += Seconds(end - sent);
        exchanging += Seconds(end - start);
    }
    if (full == 0) return state.SkipWithError("no answer came in full");
    state.counters["ReceiveToAnswerLineTime"] = receiving / full / LineSeconds(ReplyLength);
    state.counters["ExchangeToLineTime"] =
        exchanging / full / LineSeconds(FetchRequestLength + ReplyLength);
    state.counters["CutAnswers"] = cut;
}
BENCHMARK(PacedAnswer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ixo
