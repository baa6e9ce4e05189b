// How long finding the serial ports takes, as the window does at start and in its
// port dialog: the machine's own devices, read from udev (nothing is opened), and
// their numbering against a port map of the benchmark's own.

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>

#include "link/PortDiscovery.h"
#include "link/PortNumbers.h"

namespace ixo {
namespace {

void DiscoverPorts(benchmark::State& state) {
    std::size_t found = 0;
    for (auto _ : state) found = DiscoverSerialPorts().size();
    state.counters["ports"] = static_cast<double>(found);
}
BENCHMARK(DiscoverPorts)->Unit(benchmark::kMillisecond);

void FindAndNumberPorts(benchmark::State& state) {
    // Every number taken by the map, so that no adapter of this machine is entered
    // in anyone's map.
    char folder[] = "/tmp/ixo-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return state.SkipWithError("no temporary folder");
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    const std::filesystem::path map = std::filesystem::path(folder) / "ixo-loader/ports";
    std::filesystem::create_directories(map);
    for (int n = 1; n <= 8; ++n) {
        std::filesystem::create_symlink("/nonexistent", map / ("com" + std::to_string(n)));
    }
    for (auto _ : state) benchmark::DoNotOptimize(FindPorts());
    std::filesystem::remove_all(folder);
}
BENCHMARK(FindAndNumberPorts)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ixo
