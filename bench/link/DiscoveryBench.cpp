// How long finding the serial ports takes, as the window does at start and in its
// port dialog: the machine's own devices, read from udev (nothing is opened), and
// their numbering against a port map of the benchmark's own.

#include <benchmark/benchmark.h>

#include "OwnPortMap.h"
#include "ports/PortDiscovery.h"
#include "ports/PortNumbers.h"

namespace ixo {
namespace {

void DiscoverPorts(benchmark::State& state) {
    std::size_t found = 0;
    for (auto _ : state) found = DiscoverSerialPorts().size();
    state.counters["ports"] = static_cast<double>(found);
}
BENCHMARK(DiscoverPorts)->Unit(benchmark::kMillisecond);

void FindAndNumberPorts(benchmark::State& state) {
    // Every number taken by the benchmark's own map, so that no adapter of this
    // machine is entered in anyone's map.
    test::OwnPortMap map;
    for (auto _ : state) benchmark::DoNotOptimize(FindPorts());
}
BENCHMARK(FindAndNumberPorts)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ixo
