#include "BenchLink.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ixo::bench {

BenchLink::BenchLink(const sim::SimFaults& faults) {
    std::string folder = (std::filesystem::temp_directory_path() / "ixo-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) return;
    folder_ = folder;
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    device_.SetFaults(faults);
    if (!device_.Start(&why_) || !device_.MapAsPort(1, &why_)) return;
    link_.PortNumber = 1;
    link_.SetBaudRate(WorkingRate);
    if (!link_.Open()) why_ = link_.OpenError();
}

BenchLink::~BenchLink() {
    link_.Close();
    device_.Stop();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string BenchLink::Why() const {
    return link_.IsOpen() ? std::string() : "set-up: " + why_;
}

}  // namespace ixo::bench
