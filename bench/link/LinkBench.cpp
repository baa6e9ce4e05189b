// How long the link's waits really take against their limits: a receive giving up on
// a silent device, and an answer paced at the line's own rate.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "device/Protocol.h"
#include "link/Comport.h"
#include "sim/SimDevice.h"

namespace ixo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t Rate = 38400;

double Seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

// Line time of count bytes of 10 bits at Rate.
double LineSeconds(int count) {
    return count * 10.0 / Rate;
}

// A simulated device on COM1 of a port map of its own, and a link open on it.
class Bench {
public:
    explicit Bench(const sim::SimFaults& faults) {
        std::string folder = (std::filesystem::temp_directory_path() / "ixo-bench-XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr) return;
        folder_ = folder;
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        device_.SetFaults(faults);
        device_.SetWord(5, 0x5A5AA5A5);
        if (!device_.Start(&why_) || !device_.MapAsPort(1, &why_)) return;
        port_.PortNumber = 1;
        port_.SetBaudRate(Rate);
        if (!port_.Open()) why_ = port_.OpenError();
    }
    ~Bench() {
        port_.Close();
        device_.Stop();
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    // Empty when the device serves and the link is open.
    std::string Why() const { return port_.IsOpen() ? std::string() : "set-up: " + why_; }
    ComPort& Port() { return port_; }

private:
    std::string folder_;
    std::string why_ = "no temporary folder";
    sim::SimDevice device_;
    ComPort port_;
};

// A receive from a device that never answers, against its limit: ByteTime +
// FirstByteTimeout = 5 + 350 ms at 38400 bit/s.
void ReceiveGivesUpOnSilence(benchmark::State& state) {
    Bench bench({.Silent = true});
    if (!bench.Why().empty()) return state.SkipWithError(bench.Why().c_str());
    ComPort& port = bench.Port();
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
    Bench bench({.PaceBaud = Rate});
    if (!bench.Why().empty()) return state.SkipWithError(bench.Why().c_str());
    ComPort& port = bench.Port();
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
