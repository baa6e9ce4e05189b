// Figures of the Windows link under Wine, beside bench/link and bench/device on Linux:
// a receive from a silent device as a ratio to its 355 ms limit, and a whole read-back
// from a device paced at 38400 bit/s as a ratio to its line time. The devices are
// simulated on the Linux side (measure-under-wine.sh); argv[1] and argv[2] are the
// numbers of the silent and the paced port.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "device/DeviceCommands.h"
#include "device/Protocol.h"
#include "link/Comport.h"

namespace {

using namespace ixo;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t WorkingRate = 38400;
constexpr double ReadBackLineMs =
    DeviceWordCount * (FetchRequestLength + ReplyLength) * 10.0 * 1000 / WorkingRate;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool OpenPort(ComPort& link, int port) {
    link.PortNumber = static_cast<std::int8_t>(port);
    link.SetBaudRate(WorkingRate);
    if (link.Open()) return true;
    std::fprintf(stderr, "COM%d: %s\n", port, link.OpenError().c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: wine_link_measure SILENT_PORT PACED_PORT\n");
        return 2;
    }
    ComPort silent;
    ComPort paced;
    if (!OpenPort(silent, std::atoi(argv[1])) || !OpenPort(paced, std::atoi(argv[2]))) return 1;

    const int receives = 20;
    const double limitMs = silent.ByteTime() + silent.FirstByteTimeout;
    double total = 0;
    for (int i = 0; i < receives; ++i) {
        std::uint8_t answer[ReplyLength];
        const auto start = Clock::now();
        silent.Receive(answer, ReplyLength);
        total += MsSince(start);
    }
    std::printf("ReceiveGivesUpOnSilence: %.1f ms of %.0f ms, RatioToLimit=%.3f (%d runs)\n",
                total / receives, limitMs, total / receives / limitMs, receives);

    const int readBacks = 10;
    int done = 0;
    total = 0;
    for (int i = 0; i < readBacks; ++i) {
        ProgramImage image;
        TransferBytes buffer{};
        const auto start = Clock::now();
        const MaybeFailure failure = ReadProgram(paced, image, buffer);
        const double ms = MsSince(start);
        if (failure) continue;
        ++done;
        total += ms;
    }
    if (done == 0) {
        std::printf("ReadBack: no run succeeded\n");
        return 1;
    }
    std::printf(
        "ReadBack: %.1f ms of a line time of %.1f ms, RatioToLineTime=%.3f "
        "(%d of %d runs succeeded)\n",
        total / done, ReadBackLineMs, total / done / ReadBackLineMs, done, readBacks);
    return 0;
}
