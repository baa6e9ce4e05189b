// A whole read-back and a whole verify against a device that takes and sends each
// byte at 38400 bit/s, as a ratio to their line time: 129 exchanges of a 3-byte
// request and an 8-byte answer, 10 bits a byte (about 369.5 ms).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "device/DeviceCommands.h"
#include "link/Comport.h"
#include "sim/SimDevice.h"

namespace ixo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t Rate = 38400;
constexpr double LineSeconds =
    DeviceWordCount * (FetchRequestLength + ReplyLength) * 10.0 / Rate;

// A paced simulated device on COM1 of a port map of its own, holding a full program,
// and the working link open on it.
class PacedDevice {
public:
    PacedDevice() {
        std::string folder =
            (std::filesystem::temp_directory_path() / "ixo-bench-XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr) return;
        folder_ = folder;
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        for (int address = 0; address < DeviceWordCount; ++address) {
            device_.SetWord(address, 0x01010101u * static_cast<std::uint32_t>(address));
        }
        device_.SetFaults({.PaceBaud = Rate});
        if (!device_.Start(&why_) || !device_.MapAsPort(1, &why_)) return;
        link_.PortNumber = 1;
        link_.SetBaudRate(Rate);
        if (!link_.Open()) why_ = link_.OpenError();
    }
    ~PacedDevice() {
        link_.Close();
        device_.Stop();
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    std::string Why() const { return link_.IsOpen() ? std::string() : "set-up: " + why_; }
    ComPort& Link() { return link_; }

private:
    std::string folder_;
    std::string why_ = "no temporary folder";
    sim::SimDevice device_;
    ComPort link_;
};

// Runs command once per iteration; times only the runs that succeeded, and counts the
// others (on a loaded machine a gap between answer bytes can outlast its 5 ms).
template <typename Command>
void TimeAgainstLine(benchmark::State& state, Command command) {
    PacedDevice device;
    if (!device.Why().empty()) return state.SkipWithError(device.Why().c_str());
    double total = 0;
    int done = 0;
    int failed = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const MaybeFailure failure = command(device.Link());
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
        image.Words[address] = 0x01010101u * static_cast<std::uint32_t>(address);
    }
    image.WordCount = MaxProgramWords;
    TransferBytes buffer{};
    TimeAgainstLine(state, [&](ComPort& link) { return VerifyProgram(link, image, buffer); });
}
BENCHMARK(Verify)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ixo
