// How closely the simulated device keeps to line time when it paces its bytes: one
// fetch exchange (3 request bytes in, 8 answer bytes out) over its pseudo-terminal,
// as a ratio to the 11 byte times the exchange takes on a real line.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>

#include "device/Protocol.h"
#include "sim/SimDevice.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads count bytes from fd; false if the device stops answering.
bool ReadAll(int fd, std::uint8_t* bytes, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        pollfd line{fd, POLLIN, 0};
        if (::poll(&line, 1, 1000) <= 0) return false;
        const ssize_t n = ::read(fd, bytes + got, count - got);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

void PacedFetch(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    ixo::sim::SimDevice device;
    device.SetWord(128, 0x12345678);
    device.SetFaults({.PaceBaud = baud});
    if (!device.Start()) {
        state.SkipWithError("the simulated device does not start");
        return;
    }
    const int fd = ::open(device.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);

    const auto request = ixo::EncodeFetchRequest(128);
    std::array<std::uint8_t, ixo::ReplyLength> answer{};
    Clock::duration total{};
    for (auto _ : state) {
        const auto start = Clock::now();
        if (::write(fd, request.data(), request.size()) != 3 ||
            !ReadAll(fd, answer.data(), answer.size())) {
            state.SkipWithError("no answer");
            break;
        }
        total += Clock::now() - start;
    }
    ::close(fd);
    const double lineSeconds = 11.0 * 10.0 / baud;
    const double measured = std::chrono::duration<double>(total).count() /
                            static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
    state.counters["ratio_to_line_time"] = measured / lineSeconds;
}

BENCHMARK(PacedFetch)->Arg(9600)->Arg(38400)->Arg(115200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
