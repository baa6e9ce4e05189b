// A whole read-back and a whole verify against a device that takes and sends each
// byte at 38400 bit/s, as a ratio to their line time: 129 exchanges of a 3-byte
// request and an 8-byte answer, 10 bits a byte (about 369.5 ms). What the read adds
// to make sure the answers kept step counts as its own cost.

#include <benchmark/benchmark.h>

#include <chrono>

#include "BenchLink.h"
#include "device/DeviceCommands.h"

namespace ixo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double LineSeconds =
    DeviceWordCount * (FetchRequestLength + ReplyLength) * 10.0 / bench::WorkingRate;

std::uint32_t WordAt(int address) {
    return 0x01010101u * static_cast<std::uint32_t>(address);
}

// A device paced at the working rate, holding WordAt at every address. Runs command
// once per iteration; times only the runs that succeeded, and counts the
// others (on a loaded machine a gap between answer bytes can outlast its 5 ms).
template <typename Command>
void TimeAgainstLine(benchmark::State& state, Command command) {
    bench::BenchLink setup({.PaceBaud = bench::WorkingRate});
    if (!setup.Why().empty()) return state.SkipWithError(setup.Why().c_str());
    for (int address = 0; address < DeviceWordCount; ++address) {
        setup.Device().SetWord(address, WordAt(address));
    }
    double total = 0;
    int done = 0;
    int failed = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const MaybeFailure failure = command(setup.Link());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (failure) {
            ++failed;
            continue;
        }
        ++done;
        total += seconds;
    }
    if (done == 0) return state.SkipWithError("no run succeeded");
    state.counters["RatioToLineTime"] = total / done / LineSeconds;
    state.counters["LineTimeMs"] = LineSeconds * 1000;
    state.counters["FailedRuns"] = failed;
}

void ReadBack(benchmark::State& state) {
    ProgramImage image;
    TransferBytes buffer{};
    TimeAgainstLine(state, [&](ComPort& link) { return ReadProgram(link, image, buffer); });
}
BENCHMARK(ReadBack)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

void Verify(benchmark::State& state) {
    ProgramImage image;
    for (int address = 0; address < MaxProgramWords; ++address) {
        image.Words[address] = WordAt(address);
    }
    image.WordCount = MaxProgramWords;
    TransferBytes buffer{};
    TimeAgainstLine(state, [&](ComPort& link) { return VerifyProgram(link, image, buffer); });
}
BENCHMARK(Verify)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ixo
